#pragma once
// The two device ends of a running bridge and the processes that carry it, whichever kind
// of bridge it is, so that every measurement treats the stations and socat alike.
#include <QString>

#include <sys/types.h>

struct BridgeUnderTest {
    QString name;
    int deviceFd[2] = {-1, -1};
    pid_t pid[2] = {-1, -1};
};
