#include "platform/pictures/DescriptorMessages.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform {

bool sendMessage(int socket, const void* data, std::size_t size, std::initializer_list<int> descriptors) {
  if (descriptors.size() > MostDescriptors) return false;
  alignas(cmsghdr) char control[CMSG_SPACE(MostDescriptors * sizeof(int))] = {};
  iovec part{const_cast<void*>(data), size};
  msghdr message{};
  message.msg_iov = &part;
  message.msg_iovlen = 1;
  if (descriptors.size() > 0) {
    message.msg_control = control;
    message.msg_controllen = CMSG_SPACE(descriptors.size() * sizeof(int));
    cmsghdr* header = CMSG_FIRSTHDR(&message);
    header->cmsg_level = SOL_SOCKET;
    header->cmsg_type = SCM_RIGHTS;
    header->cmsg_len = CMSG_LEN(descriptors.size() * sizeof(int));
    std::memcpy(CMSG_DATA(header), descriptors.begin(), descriptors.size() * sizeof(int));
  }
  ssize_t sent;
  do sent = ::sendmsg(socket, &message, MSG_NOSIGNAL);
  while (sent < 0 && errno == EINTR);
  return sent == static_cast<ssize_t>(size);
}

bool receiveMessage(int socket, void* into, std::size_t size, std::array<int, MostDescriptors>& descriptors,
                    int flags) {
  descriptors.fill(-1);
  alignas(cmsghdr) char control[CMSG_SPACE(MostDescriptors * sizeof(int))] = {};
  iovec part{into, size};
  msghdr message{};
  message.msg_iov = &part;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  ssize_t got;
  do got = ::recvmsg(socket, &message, MSG_CMSG_CLOEXEC | flags);
  while (got < 0 && errno == EINTR);
  std::size_t kept = 0;
  for (cmsghdr* header = CMSG_FIRSTHDR(&message); header; header = CMSG_NXTHDR(&message, header)) {
    if (header->cmsg_level != SOL_SOCKET || header->cmsg_type != SCM_RIGHTS) continue;
    const std::size_t count = (header->cmsg_len - CMSG_LEN(0)) / sizeof(int);
    for (std::size_t i = 0; i < count; ++i) {
      int descriptor;
      std::memcpy(&descriptor, CMSG_DATA(header) + i * sizeof(int), sizeof(int));
      if (kept < MostDescriptors)
        descriptors[kept++] = descriptor;
      else
        ::close(descriptor);
    }
  }
  return got == static_cast<ssize_t>(size) && !(message.msg_flags & (MSG_TRUNC | MSG_CTRUNC));
}

}  // namespace platform
