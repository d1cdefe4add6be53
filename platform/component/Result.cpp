#include "platform/component/Result.h"

namespace component {

const char* DescribeResult(Result r) {
    switch (r) {
        case kOk:
            return "success";
        case kFalse:
            return "success (false)";
        case kNotImplemented:
            return "not implemented";
        case kNoInterface:
            return "interface not supported";
        case kNullPointer:
            return "null pointer";
        case kFail:
            return "unspecified failure";
        case kUnexpected:
            return "unexpected failure";
        case kOutOfMemory:
            return "out of memory";
        case kInvalidArgument:
            return "invalid argument";
        case kAccessDenied:
            return "access denied";
        case kFileNotFound:
            return "file not found";
        case kNoAggregation:
            return "class does not support aggregation";
        case kClassNotAvailable:
            return "class not available from this library";
        case kClassNotRegistered:
            return "class not registered";
        case kMemberNotFound:
            return "member not found";
        case kTypeMismatch:
            return "type mismatch";
        case kUnknownName:
            return "unknown name";
        case kOverflow:
            return "value out of range";
        case kBadParamCount:
            return "wrong number of arguments";
        case kRegistryAccess:
            return "registration store cannot be read or written";
        case kLibraryNotRegistered:
            return "type library not registered";
        case kCannotLoadLibrary:
            return "library cannot be loaded";
        case kSelfRegTypeLibrary:
            return "type library registration failed";
        case kSelfRegClass:
            return "class registration failed";
        default:
            return Failed(r) ? "failure" : "success";
    }
}

}  // namespace component
