#pragma once
// The scanner library's few dealings with the system that both its halves need: German words
// for a system error, and handing an open file from the library to its helper.

#include <QString>

namespace scanlib {

// What a system error number means, in German, for the user's eyes.
QString systemError(int errnum);

// Sends an open descriptor over a local socket (with one byte of data, as the kernel wants
// at least one); false with errno set when it could not go.
bool sendDescriptor(int socket, int fd);
// Takes the next descriptor sent that way; -1 when the socket closed or carried none.
int receiveDescriptor(int socket);

} // namespace scanlib
