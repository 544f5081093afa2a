"""The processor floor for import_floor.py --objdump: every instruction (80386/387 to P6) in the lists
below; not code: the linker's data in .text; rdrand/rdseed only in libstdc++'s CPUID-guarded helpers."""
import re
import subprocess

CONDITION = "o|no|b|nb|c|nc|ae|nae|e|ne|z|nz|be|nbe|a|na|s|ns|p|np|pe|po|l|nl|ge|nge|le|nle|g|ng"
# Each takes an AT&T size suffix (b, w, l) too: addl, movzbl (below), stosl, ...
INTEGER = set("""
    aaa aad aam aas adc add and arpl bound bsf bsr bswap bt btc btr bts call clc cld cli clts cmc cmp cmps cmpxchg
    cmpxchg8b cpuid daa das dec div enter hlt idiv imul in inc ins int int3 into invd invlpg iret jmp jcxz jecxz
    lahf lar lds lea leave les lfs lgdt lgs lidt lldt lmsw lods loop loope loopne loopnz loopz lsl lss ltr mov movs
    mul neg nop not or out outs pop popa popf push pusha pushf rcl rcr rdmsr rdpmc rdtsc ret rol ror rsm sahf sal
    sar sbb scas sgdt shl shld shr shrd sidt sldt smsw stc std sti stos str sub test ud2 verr verw wait wbinvd wrmsr
    xadd xchg xlat xor cbtw cwtl cwtd cltd lcall ljmp lret fwait pushal popal xlatb
""".split())
# Each takes an AT&T operand suffix (s, l, t, ll) too: flds, fildll, fstpt, ...
X87 = set("""
    f2xm1 fabs fadd faddp fbld fbstp fchs fclex fcom fcomi fcomip fcomp fcompp fcos fdecstp fdiv fdivp fdivr fdivrp
    ffree fiadd ficom ficomp fidiv fidivr fild fimul fincstp finit fist fistp fisub fisubr fld fld1 fldcw fldenv
    fldl2e fldl2t fldlg2 fldln2 fldpi fldz fmul fmulp fnclex fninit fnop fnsave fnstcw fnstenv fnstsw fpatan fprem
    fprem1 fptan frndint frstor fsave fscale fsin fsincos fsqrt fst fstcw fstenv fstp fstsw fsub fsubp fsubr fsubrp
    ftst fucom fucomi fucomip fucomp fucompp fxam fxch fxtract fyl2x fyl2xp1
""".split())
PATTERN = re.compile(r"(?:j(?:%s)|set(?:%s)b?|cmov(?:%s)[wl]?|fcmovn?(?:b|e|be|u)|mov[sz](?:bw|bl|wl)|nop[wl])$"
                     % (CONDITION, CONDITION, CONDITION))
OLDER_ENCODING = {"pause", "tzcnt"}
PREFIXES = {"lock", "rep", "repz", "repe", "repnz", "repne", "data16", "addr16", "cs", "ds", "es", "fs", "gs", "ss"}
DATA_LABELS = ("__CTOR_LIST__", "__DTOR_LIST__", ".ctors", ".dtors", ".gcc_except_table", ".gcc_exc")
GUARDED = {"rdrand", "rdseed"}
GUARDED_LABEL = re.compile(r"_GLOBAL__N_\d+__x86_rd(?:rand|seed)")
LABEL = re.compile(r"^[0-9a-f]+ <(.*)>:$")
INSTRUCTION = re.compile(r"^\s*[0-9a-f]+:\t(.*)$")

def on_pentium_pro(m):
    return bool(m in INTEGER or m in X87 or m in OLDER_ENCODING or PATTERN.match(m) or m[-1] in "bwl" and m[:-1] in
                INTEGER or m[-1] in "slt" and m[:-1] in X87 or m.endswith("ll") and m[:-2] in X87)

def check(path, objdump):
    """[(function, instruction)] for each instruction beyond the floor, and the number read."""
    text = subprocess.run([objdump, "-d", "--no-show-raw-insn", path], capture_output=True, text=True, check=True).stdout
    findings, count, label = [], 0, ""
    for line in text.splitlines():
        label = LABEL.match(line).group(1) if LABEL.match(line) else label
        match = INSTRUCTION.match(line)
        if match and not label.startswith(DATA_LABELS):
            words = match.group(1).split()
            while len(words) > 1 and words[0] in PREFIXES:
                words = words[1:]
            count += 1
            if not on_pentium_pro(words[0]) and not (words[0] in GUARDED and GUARDED_LABEL.search(label)):
                findings.append((label, " ".join(words)))
    return findings, count
