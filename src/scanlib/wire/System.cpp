#include "scanlib/wire/System.h"

#include "base/SystemErrors.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

namespace scanlib {

QString systemError(int errnum)
{
    return rt::systemErrorText(errnum);
}

namespace {

// One byte with room for one descriptor beside it, as both ends of the socket use it.
struct DescriptorMessage {
    char byte = 'F';
    iovec data{&byte, 1};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr message{};
    DescriptorMessage()
    {
        message.msg_iov = &data;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
    }
    DescriptorMessage(const DescriptorMessage &) = delete;
    DescriptorMessage &operator=(const DescriptorMessage &) = delete;
};

} // namespace

bool sendDescriptor(int socket, int fd)
{
    DescriptorMessage one;
    msghdr &message = one.message;
    cmsghdr *header = CMSG_FIRSTHDR(&message);
    header->cmsg_level = SOL_SOCKET;
    header->cmsg_type = SCM_RIGHTS;
    header->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(header), &fd, sizeof(int));
    ssize_t n;
    do
        n = ::sendmsg(socket, &message, MSG_NOSIGNAL);
    while (n < 0 && errno == EINTR);
    return n == 1;
}

int receiveDescriptor(int socket)
{
    DescriptorMessage one;
    msghdr &message = one.message;
    ssize_t n;
    do
        n = ::recvmsg(socket, &message, MSG_CMSG_CLOEXEC);
    while (n < 0 && errno == EINTR);
    if (n != 1)
        return -1;
    int fd = -1;
    for (cmsghdr *h = CMSG_FIRSTHDR(&message); h; h = CMSG_NXTHDR(&message, h))
        if (h->cmsg_level == SOL_SOCKET && h->cmsg_type == SCM_RIGHTS && h->cmsg_len == CMSG_LEN(sizeof(int))) {
            if (fd >= 0)
                ::close(fd);
            std::memcpy(&fd, CMSG_DATA(h), sizeof(int));
        }
    if ((message.msg_flags & MSG_CTRUNC) && fd >= 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace scanlib
