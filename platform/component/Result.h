#pragma once

#include <cstdint>

namespace component {

// Result codes keep the values that callers of a component expect, so a code read from a log or
// a tool's output means the same thing on either side of a library boundary.
using Result = std::int32_t;

inline constexpr Result kOk = 0;
inline constexpr Result kFalse = 1;
inline constexpr Result kNotImplemented = static_cast<Result>(0x80004001);
inline constexpr Result kNoInterface = static_cast<Result>(0x80004002);
inline constexpr Result kNullPointer = static_cast<Result>(0x80004003);
inline constexpr Result kFail = static_cast<Result>(0x80004005);
inline constexpr Result kUnexpected = static_cast<Result>(0x8000FFFF);
inline constexpr Result kOutOfMemory = static_cast<Result>(0x8007000E);
inline constexpr Result kInvalidArgument = static_cast<Result>(0x80070057);
inline constexpr Result kAccessDenied = static_cast<Result>(0x80070005);
inline constexpr Result kFileNotFound = static_cast<Result>(0x80070002);
inline constexpr Result kNoAggregation = static_cast<Result>(0x80040110);
inline constexpr Result kClassNotAvailable = static_cast<Result>(0x80040111);
inline constexpr Result kClassNotRegistered = static_cast<Result>(0x80040154);
inline constexpr Result kMemberNotFound = static_cast<Result>(0x80020003);
inline constexpr Result kTypeMismatch = static_cast<Result>(0x80020005);
inline constexpr Result kUnknownName = static_cast<Result>(0x80020006);
inline constexpr Result kOverflow = static_cast<Result>(0x8002000A);
inline constexpr Result kBadParamCount = static_cast<Result>(0x8002000E);
inline constexpr Result kRegistryAccess = static_cast<Result>(0x8002801C);
inline constexpr Result kLibraryNotRegistered = static_cast<Result>(0x8002801D);
inline constexpr Result kCannotLoadLibrary = static_cast<Result>(0x80029C4A);
inline constexpr Result kSelfRegTypeLibrary = static_cast<Result>(0x80040200);
inline constexpr Result kSelfRegClass = static_cast<Result>(0x80040201);

constexpr bool Succeeded(Result r) {
    return r >= 0;
}
constexpr bool Failed(Result r) {
    return r < 0;
}

// A short English meaning of a result, for tools and error messages; never null.
const char* DescribeResult(Result r);

}  // namespace component
