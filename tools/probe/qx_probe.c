/* Answers 42 when it runs: a loader that starts it but cannot run it gives another code. */
#include <windows.h>

int main(void)
{
    return GetVersion() != 0 ? 42 : 1;
}
