#include "platform/desktop/RuntimeError.h"

#include "platform/desktop/ErrnoReason.h"

#include <cerrno>

namespace platform {

QString errorDescription(int number) {
  switch (number) {
    case errors::InvalidProcedureCall: return QStringLiteral("Invalid procedure call or argument");
    case errors::Overflow: return QStringLiteral("Overflow");
    case errors::OutOfMemory: return QStringLiteral("Out of memory");
    case errors::TypeMismatch: return QStringLiteral("Type mismatch");
    case errors::InternalError: return QStringLiteral("Internal error");
    case errors::BadFileNameOrNumber: return QStringLiteral("Bad file name or number");
    case errors::FileNotFound: return QStringLiteral("File not found");
    case errors::FileAlreadyOpen: return QStringLiteral("File already open");
    case errors::FileAlreadyExists: return QStringLiteral("File already exists");
    case errors::DiskFull: return QStringLiteral("Disk full");
    case errors::TooManyFiles: return QStringLiteral("Too many files");
    case errors::DeviceUnavailable: return QStringLiteral("Device unavailable");
    case errors::PermissionDenied: return QStringLiteral("Permission denied");
    case errors::DiskNotReady: return QStringLiteral("Disk not ready");
    case errors::PathFileAccessError: return QStringLiteral("Path/File access error");
    case errors::PathNotFound: return QStringLiteral("Path not found");
    case errors::InvalidPropertyValue: return QStringLiteral("Invalid property value");
    case errors::InvalidPicture: return QStringLiteral("Invalid picture");
    default: return QStringLiteral("Application-defined or object-defined error");
  }
}

RuntimeError::RuntimeError(int number) : RuntimeError(number, errorDescription(number)) {}

RuntimeError::RuntimeError(int number, QString description)
    : RuntimeError(number, description, description + QLatin1Char('.')) {}

RuntimeError::RuntimeError(int number, QString description, QString reason)
    : number_(number), description_(std::move(description)), reason_(std::move(reason)),
      what_(QString::number(number).toStdString() + ": " + description_.toStdString()) {}

void raise(int number) { throw RuntimeError(number); }

int errorNumberFromErrno(int err) {
  switch (err) {
    case ENOENT: return errors::FileNotFound;
    case ENOTDIR: return errors::PathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY: return errors::PermissionDenied;
    case EEXIST: return errors::FileAlreadyExists;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return errors::DiskFull;
    case EMFILE:
    case ENFILE: return errors::TooManyFiles;
    case ENOMEM: return errors::OutOfMemory;
    case EIO:
    case ENXIO:
    case ENODEV:
    case ENOMEDIUM:
    case ENOTCONN:
    case ESTALE:
    case EHOSTDOWN: return errors::DeviceUnavailable;
    case ENAMETOOLONG: return errors::BadFileNameOrNumber;
    default: return errors::PathFileAccessError;
  }
}

void raiseFromErrno(int err) {
  const int number = errorNumberFromErrno(err);
  throw RuntimeError(number, errorDescription(number), reasonForErrno(err));
}

}  // namespace platform
