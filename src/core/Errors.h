#pragma once
// The event log's vocabulary: every error number and every label the program
// writes, each number with one meaning. Numbers below 1000 follow the original
// platform's run-time error numbers; the others are the program's own.

#include <cstdint>

namespace kestro {

// ---- error numbers ----
constexpr int32_t kErrNoStoredPort = 1;            // no serial port number in the settings store
constexpr int32_t kErrInvalidCall = 5;             // an argument outside the function's domain (a logarithm of 0)
constexpr int32_t kErrOverflow = 6;                // a number left its 16- or 32-bit range
constexpr int32_t kErrReceiveOverflow = 7;         // receive buffer full: oldest characters dropped
constexpr int32_t kErrSubscriptRange = 9;          // an index outside an array
constexpr int32_t kErrInternal = 51;               // anything else caught by a guarded procedure
constexpr int32_t kErrBadFileName = 52;            // empty, over-long or unsafe file name
constexpr int32_t kErrFileNotFound = 53;           // no such program or file
constexpr int32_t kErrDeviceIO = 57;               // I/O error of the medium
constexpr int32_t kErrDiskFull = 61;               // no space left (also quota, file too large)
constexpr int32_t kErrTooManyFiles = 67;           // out of file descriptors
constexpr int32_t kErrPermissionDenied = 70;       // a program that exists but will not start
constexpr int32_t kErrPathAccess = 75;             // access denied, read-only, a directory in the way, ...
constexpr int32_t kErrPathNotFound = 76;           // the directory (or a parent) does not exist
constexpr int32_t kErrPortUnavailable = 82;        // the port exists but cannot be opened (busy, permission)
constexpr int32_t kErrNoSuchOption = 340;          // an option button index that does not exist
constexpr int32_t kErrInvalidPicture = 380;        // a picture or image list entry that does not exist
constexpr int32_t kErrPortNotFound = 8002;         // the port's device path does not exist
constexpr int32_t kErrPortWrite = 8020;            // a command of the stop sequence did not reach the port
constexpr int32_t kErrPortDrain = 8021;            // ... or did not leave the line before the port closed
constexpr int32_t kErrRegistryWrite = 26001;       // a settings value could not be saved
constexpr int32_t kErrRegistryCorrupt = 26002;     // not a settings document: kept aside before the next write
constexpr int32_t kErrRegistryUnreadable = 26003;  // exists but cannot be read: never replaced
constexpr int32_t kErrSameSeparators = 26004;      // column and decimal separator alike: the default pair is used

// ---- labels (written after the date and time) ----
namespace label {
// Lines without a number.
inline constexpr const char* kSecondInstance =
    ": FormLoad.Error: Application started as second instance - Application stopped";
inline constexpr const char* kApplicationStopped = ": Application stopped";
// Followed by the device and the reason.
inline constexpr const char* kPortGone = ": frmCOMx.PortGone: ";
// Followed by what sits at a lock file's name instead of a lock file.
inline constexpr const char* kLockFile = ": frmCOMx.LockFile: ";
// Followed by a text about held or rescued record lines.
inline constexpr const char* kRecordWriter = ": RecordWriter: ";
// Followed by the system's error number and its text.
inline constexpr const char* kSingleInstance = ": SingleInstance.Error: ";

// Followed by an error number.
inline constexpr const char* kComFormUnload = ": frmCOMx.FormUnload.Error: ";
inline constexpr const char* kComInitForm = ": frmCOMx.InitForm.Error: ";
inline constexpr const char* kSetComPort = ": SetCOMPort.Error: ";
inline constexpr const char* kInterpreter = ": Interpreter: ";
inline constexpr const char* kReceiveBuffer = ": ReceiveBuffer: ";
inline constexpr const char* kTimer1 = ": frmKestroRecord.Timer1.Error: ";
inline constexpr const char* kFormLoad = ": frmKestroRecord.Form_Load.Error: ";
inline constexpr const char* kFormResize = ": frmKestroRecord.Form_Resize.Error: ";
inline constexpr const char* kHandler = ": frmKestroRecord.Handler.Error: ";
inline constexpr const char* kRegistry = ": cRegistry.Error: ";
inline constexpr const char* kDemo = ": KestroApplication.Demo.Error: ";
// ": RecorderSettings." + value name + ": ", for a stored value that had to be replaced.
inline constexpr const char* kRecorderSettingsPrefix = ": RecorderSettings.";
// Written to the about box's own log, followed by the number and an empty line.
inline constexpr const char* kStartSysInfo = ": StartSysInfo.Error: ";
}  // namespace label

}  // namespace kestro
