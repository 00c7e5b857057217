#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace platform {

// Where the converter program is: beside the running program, else where
// the build put it.
QString converterProgram();

// Limits on one conversion. The converter also gets at most 10 seconds of
// processor time, 2 GB of address space and no files to write.
struct ConversionLimits {
  int milliseconds = 15'000;
  // The longest document taken; 0 for the limit that fits the metafile's size.
  qsizetype outputBytes = 0;
};

// Converts a WMF or EMF picture to SVG in the converter program, a child
// process with bounded time, memory and output. A crash, hang or runaway
// there gives nothing here, as does any picture the converter refuses.
std::optional<QByteArray> convertMetafileInChildProcess(const QByteArray& metafile,
                                                        const QString& program = converterProgram(),
                                                        ConversionLimits limits = {});

}  // namespace platform
