// Output pieces written by a thread of their own.
//
// The writer gathers its output in pieces of about 1 MB.  Handing a piece
// to the file costs a system call and the kernel's copy into the page
// cache; done by a second thread, that copy overlaps the encoding of the
// next piece instead of stalling it.  One piece is in flight at a time and
// pieces go out in the order they were handed over, so the file is the
// same as if each had been written at once.  No bytes are copied: the
// caller's buffer is swapped with the one the thread has finished with.
//
// The thread only calls fwrite on the stream it was given; failures are
// remembered and reported by finish(), as a direct write's would be by the
// caller.  It takes no signals (they go to the thread that does the work),
// and the destructor waits for the piece in flight and stops it.
#pragma once

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

namespace vx::icode {

class PieceWriter {
public:
    // Starts the thread, with room for pieces of `room` bytes taken once;
    // with `cut_first` the thread cuts off what the file held (cut_file)
    // before it writes the first piece.  Throws std::system_error when the
    // thread cannot be started.
    PieceWriter(FILE* out, size_t room, bool cut_first = false);
    PieceWriter(const PieceWriter&) = delete;
    PieceWriter& operator=(const PieceWriter&) = delete;
    ~PieceWriter();

    // Hands `piece` to the thread once the piece before it is written, and
    // leaves an empty buffer (that keeps its room) in its place.
    void hand_over(std::string& piece);
    // Waits until every piece handed over is written; false when a write
    // failed.  The stream may then be used directly until the next piece.
    bool finish();

private:
    void write_pieces();
    void wait_until_idle(std::unique_lock<std::mutex>& lock);

    FILE* out_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::string in_flight_;
    bool busy_ = false; // in_flight_ holds a piece not yet written
    bool stopping_ = false;
    bool failed_ = false;
    bool cut_first_;
    std::thread thread_;
};

// Cuts a regular file off at its start, so that what it held before goes;
// any other file (a device, a pipe) is left as it is.  False when the file
// could not be cut.
bool cut_file(FILE* out);

} // namespace vx::icode
