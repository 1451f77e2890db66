#pragma once
// Waiting for a bridge to carry data, and emptying device ends between measurements.
//
// Bytes written before the two ends have found each other are dropped, as with a cable not
// yet plugged in, so readiness is shown by a marker that comes out of the far end.
namespace LinkCheck
{

// Writes a marker into fromFd every markerEverySeconds until one comes out of toFd;
// then lets markers still on their way arrive and throws them away.
bool waitForLink(int fromFd, int toFd, double timeoutSeconds, double markerEverySeconds = 0.25);
// Reads and throws away whatever arrives at fd until it has been quiet for quietSeconds.
void drain(int fd, double quietSeconds);

} // namespace LinkCheck
