#pragma once
// File error numbers: what every file operation returns. The framework
// names them (framework/error.h) and shows them; the storage produces them.

namespace rt {
namespace FileErr {
constexpr int NoError = 0;
constexpr int NoFile = 2;                 // File Not Found
constexpr int NoAccess = 5;               // Access Denied
constexpr int NoMemory = 8;               // Insufficient Memory
constexpr int RecordNotAvailable = 33;    // Record Not Available
constexpr int DuplicateKey = 40;          // Creates Duplicate Key
constexpr int BadRecordDeclaration = 47;  // Invalid Record Declaration
constexpr int FileSystemError = 90;       // File System Error: see the file error
}  // namespace FileErr
}  // namespace rt
