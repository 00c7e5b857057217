#pragma once

// Messages of a fixed size over a socket of messages (SOCK_SEQPACKET), with
// open descriptors passed alongside (SCM_RIGHTS): how the program and its
// decoder workers talk.

#include <array>
#include <cstddef>
#include <initializer_list>

namespace platform {

inline constexpr std::size_t MostDescriptors = 2;

// Sends the bytes and the descriptors as one message; false unless all went.
bool sendMessage(int socket, const void* data, std::size_t size, std::initializer_list<int> descriptors);

// Receives one message of exactly this size, and the descriptors that came
// with it (close-on-exec; -1 where none came, those beyond the room closed).
// False for any other message, or none.
bool receiveMessage(int socket, void* into, std::size_t size, std::array<int, MostDescriptors>& descriptors,
                    int flags = 0);

}  // namespace platform
