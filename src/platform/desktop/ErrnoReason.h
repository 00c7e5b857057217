#pragma once

#include <QString>

namespace platform {

// Why the system refused a file operation, as a sentence for the user:
// plain words for what happens to files every day (a name taken, no right
// to write, a full disk), the system's own text for the rest.
QString reasonForErrno(int err);

}  // namespace platform
