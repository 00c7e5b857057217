#pragma once

// How the program talks to a decoder worker (tavlo-decoder) over a socket
// pair of messages (SOCK_SEQPACKET) that is the worker's standard input and
// output. Both ends run on one machine: numbers travel in its byte order.
//
// 1. Started, the worker loads every decoder, locks itself down, and reads
//    a Request of kind Setup with two descriptors: its control page (a
//    ControlPage in shared memory) and the display's colour profile (a
//    memory file of `size` bytes; none when size is 0).
// 2. Each Decode request comes with the picture file's descriptor; the
//    worker answers a Reply and, when Ready, the pixels' descriptor: a
//    sealed memory file holding the rows (bytesPerLine each), then, for a
//    picture of colour indexes, its colour table (colourCount 32-bit colours).
// 3. The worker ends when its input is closed.

#include <atomic>
#include <cstdint>

namespace platform::decoder_protocol {

enum class Kind : std::uint32_t {
  Setup = 1,
  Decode = 2,
  // For the tests of the confinement only: the worker tries a call it is
  // forbidden (`forbidden`: 0 openat, 1 socket, 2 execve) and is ended for it.
  TryForbidden = 3,
};

struct Request {
  Kind kind;
  std::uint32_t target;              // ColourTarget
  std::int32_t boxWidth, boxHeight;  // not valid (0 or less): the whole picture
  std::uint64_t device, inode;       // the file's state as the program opened it
  std::int64_t size, modifiedNanoseconds;
  std::uint32_t forbidden;
};

enum class Status : std::uint32_t { Ready = 1, Failed = 2 };

struct Reply {
  Status status;
  std::int32_t error;  // the run time's error number, when Failed
  std::int32_t naturalWidth, naturalHeight;
  std::int32_t width, height, bytesPerLine, format;  // format: QImage::Format
  std::int32_t colourCount;
  std::uint32_t reduced;
};

// Shared by the program and one worker: the program asks the worker to give
// up the picture it is decoding, which it does at its next check.
struct ControlPage {
  std::atomic<std::uint32_t> cancelled;
};

// Bounds a reply is checked against before its memory is mapped.
inline constexpr std::int32_t SideLimit = 1 << 20;         // of the pixels sent
inline constexpr std::int32_t NaturalSideLimit = 1 << 24;  // of the picture they stand for
inline constexpr std::int64_t ProfileLimit = 8 << 20;

}  // namespace platform::decoder_protocol
