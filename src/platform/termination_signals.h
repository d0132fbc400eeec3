#pragma once

// One catcher of SIGINT, SIGTERM and SIGHUP for the window and the headless command alike: the handler only
// records the signal and writes one byte to a pipe, so that a loop waiting on the pipe or polling the signal
// ends in order, with its settings written, instead of dying where it stands.
enum class TSecondSignal {
    Caught, // every signal is caught again (a window ends once however often it is asked)
    EndsAtOnce, // a second signal of the same kind takes its default action (a command that hangs can be ended)
};

// Installs the handler for the three signals; may be called again to change what a second signal does.
void catchTerminationSignals(TSecondSignal second);
// The last of the three signals received since the program started; 0 when none came.
int terminationSignal() noexcept;
// The end of the pipe that becomes readable when a signal came; -1 when the pipe could not be made, in which
// case the signals keep their default action.
int terminationSignalFd() noexcept;
// Reads what the handler wrote, so that the pipe waits for the next signal.
void drainTerminationSignalFd() noexcept;
