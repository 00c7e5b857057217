#include "platform/desktop/ErrnoReason.h"

#include <cerrno>
#include <cstring>

namespace platform {

QString reasonForErrno(int err) {
  switch (err) {
    case EEXIST: return QStringLiteral("A file of that name already exists.");
    case EISDIR: return QStringLiteral("A folder of that name already exists.");
    case ENOENT: return QStringLiteral("The file, or a folder on its path, does not exist.");
    case ENOTDIR: return QStringLiteral("A part of the path is not a folder.");
    case EACCES:
    case EPERM: return QStringLiteral("You do not have permission to change this file or its folder.");
    case EROFS: return QStringLiteral("The disk is read-only.");
    case ENAMETOOLONG: return QStringLiteral("The name is too long.");
    case ENOSPC: return QStringLiteral("There is not enough space on the disk.");
    case EDQUOT: return QStringLiteral("Your disk quota is used up.");
    case EFBIG: return QStringLiteral("The file is larger than the disk allows.");
    case EXDEV: return QStringLiteral("A file can only be moved to a folder on the same disk.");
    case EBUSY:
    case ETXTBSY: return QStringLiteral("The file is in use.");
    case EINVAL: return QStringLiteral("The name is not valid here.");
    case ELOOP: return QStringLiteral("The path has too many symbolic links.");
    case EIO: return QStringLiteral("The disk could not be read or written.");
    default: break;
  }
  // The system's own words (English whatever the locale), as a sentence.
  const char* text = ::strerrordesc_np(err);
  return text ? QString::fromUtf8(text) + QLatin1Char('.') : QStringLiteral("Unknown error %1.").arg(err);
}

}  // namespace platform
