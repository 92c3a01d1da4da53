#pragma once
// The source paths that the framework's raise sites record in an exception's trace. They are
// data: hosts and support staff match traces against these exact texts.

namespace dcfSourceFile {

inline constexpr char kMD5Stream[] = "d:\\library\\dcf1\\win32\\include\\dcfMD5Stream";
inline constexpr char kStringUtility[] =
    "d:\\library\\dcf1\\win32\\include\\strings\\dcfStringUtility";
inline constexpr char kDcfCom[] = "d:\\library\\dcf1\\win32\\include\\dcf\\dcfcom";
inline constexpr char kOsImplementation[] =
    "d:\\library\\dcf1\\win32\\include\\dcf\\os_implementation";
inline constexpr char kArray[] = "d:\\library\\dcf1\\win32\\include\\collections\\dcfArray";
inline constexpr char kList[] = "d:\\library\\dcf1\\win32\\include\\collections\\dcfList";

}  // namespace dcfSourceFile
