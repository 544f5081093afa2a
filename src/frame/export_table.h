// The table of exports (frame/exports.inc) as data: each export's name, the kinds of its arguments
// as letters, and the kind of its result. Including this header checks every line of the table
// against the export's declaration in qxinst.h: a line whose argument or result types differ does
// not compile.
#pragma once

#include <type_traits>

#include "qxinst.h"

namespace qx::exports {

enum class ResultKind { kBool, kInt, kNone };

// The kinds the table's lines are written with, each with its C type.
namespace kinds {
struct S {
    using Type = const char*;
    static constexpr char kCode = 'S';
};
struct B {
    using Type = char*;
    static constexpr char kCode = 'B';
};
struct O {
    using Type = char*;
    static constexpr char kCode = 'O';
};
struct I {
    using Type = int;
    static constexpr char kCode = 'I';
};
struct U {
    using Type = unsigned int;
    static constexpr char kCode = 'U';
};
struct Bool {
    using Type = QXBOOL;
    static constexpr ResultKind kResult = ResultKind::kBool;
};
struct Int {
    using Type = int;
    static constexpr ResultKind kResult = ResultKind::kInt;
};
struct None {
    using Type = void;
    static constexpr ResultKind kResult = ResultKind::kNone;
};
}  // namespace kinds

// The pointer type of an export, its argument letters and its result kind; bMore: the export
// ignores any arguments after these (the caller removes them, as cdecl has it).
template <bool bMore, typename Result, typename... Args> struct CKindList {
    using Pointer = typename Result::Type(QXAPI*)(typename Args::Type...);
    static constexpr char kArgs[sizeof...(Args) + 1] = {Args::kCode..., '\0'};
    static constexpr ResultKind kResult = Result::kResult;
    static constexpr bool kTakesMore = bMore;
};

// One line of the table as a function type of kinds: Result(Argument...), or Result(Argument...,
// ...) for an export that takes and ignores more arguments.
template <typename Line> struct CLineKinds;
template <typename Result, typename... Args> struct CLineKinds<Result(Args...)> : CKindList<false, Result, Args...> {
};
template <typename Result, typename... Args>
struct CLineKinds<Result(Args..., ...)> : CKindList<true, Result, Args...> {
};

struct CExportLine {
    const char* pszName;
    const char* pszArgs;
    ResultKind result;
    bool bTakesMore;  // further arguments are accepted and ignored
};

namespace kinds {

#define QX_EXPORT(name, result, args)                                                                                  \
    static_assert(std::is_same_v<decltype(&::name), CLineKinds<result args>::Pointer>,                                 \
                  "the table of exports and qxinst.h declare " #name " differently");
#include "frame/exports.inc"

#define QX_EXPORT(name, result, args)                                                                                  \
    {#name, CLineKinds<result args>::kArgs, CLineKinds<result args>::kResult, CLineKinds<result args>::kTakesMore},
inline constexpr CExportLine kExportTable[] = {
#include "frame/exports.inc"
};

}  // namespace kinds

using kinds::kExportTable;

}  // namespace qx::exports
