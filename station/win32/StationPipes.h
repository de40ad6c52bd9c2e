#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The batch's side of the units' pipes on Windows. An anonymous pipe cannot be waited on,
// so each read end gets a thread of its own that reads it and keeps what it read for the
// batch's loop, which waits on one condition for any of its pipes. A pipe is named by the
// value of its read end's handle, as the platform seam names pipes (TStationPlatform).
namespace StationPipes {

// Starts reading the pipe, which is then the reader's; its number.
int Start(HANDLE readEnd);
// Waits at most ms for any of the pipes to hold bytes or to have reached its end.
void Wait(const std::vector<int>& pipes, int ms, std::vector<bool>& ready);
// Moves what the pipe holds into into; false once it has reached its end and nothing is
// left (the pipe is then forgotten, and its number may name another pipe later).
bool Take(int pipe, std::string& into);
// Forgets a pipe the batch is done with (a reader still reading keeps its pipe).
void Forget(int pipe);
// Whether the pipe has reached its end (every byte written before is held).
bool Ended(int pipe);

}  // namespace StationPipes
