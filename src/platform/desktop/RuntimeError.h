#pragma once

#include <QString>

#include <exception>
#include <string>

namespace platform {

// The run time's error numbers, as handlers test them.
namespace errors {
inline constexpr int InvalidProcedureCall = 5;
inline constexpr int Overflow = 6;
inline constexpr int OutOfMemory = 7;
inline constexpr int TypeMismatch = 13;
inline constexpr int InternalError = 51;
inline constexpr int BadFileNameOrNumber = 52;
inline constexpr int FileNotFound = 53;
inline constexpr int FileAlreadyOpen = 55;
inline constexpr int FileAlreadyExists = 58;
inline constexpr int DiskFull = 61;
inline constexpr int TooManyFiles = 67;
inline constexpr int DeviceUnavailable = 68;
inline constexpr int PermissionDenied = 70;
inline constexpr int DiskNotReady = 71;
inline constexpr int PathFileAccessError = 75;
inline constexpr int PathNotFound = 76;
inline constexpr int InvalidPropertyValue = 380;
inline constexpr int InvalidPicture = 481;
}  // namespace errors

// The description the run time gives for an error number.
QString errorDescription(int number);

// A failure raised by a platform operation: the error number a handler tests,
// the run time's description, and the reason in words a message tells the
// user (the system's, where the system refused).
class RuntimeError : public std::exception {
 public:
  explicit RuntimeError(int number);
  RuntimeError(int number, QString description);
  RuntimeError(int number, QString description, QString reason);

  int number() const { return number_; }
  const QString& description() const { return description_; }
  // A sentence: "A file of that name already exists."; without a reason of
  // the system's, the description with a full stop.
  const QString& reason() const { return reason_; }
  const char* what() const noexcept override { return what_.c_str(); }

 private:
  int number_;
  QString description_;
  QString reason_;
  std::string what_;
};

[[noreturn]] void raise(int number);

// Maps an errno value from a file operation onto the run time's error number.
int errorNumberFromErrno(int err);
// Raises that error, with the system's reason in words (reasonForErrno).
[[noreturn]] void raiseFromErrno(int err);

}  // namespace platform
