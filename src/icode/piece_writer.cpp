#include "icode/piece_writer.h"

#include <csignal>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vx::icode {

namespace {

// Blocks every signal in the calling thread for its lifetime, so that a
// thread started meanwhile inherits the mask: the fault report and the
// user's interrupts then always run on the thread that does the work.
class SignalsBlocked {
public:
    SignalsBlocked() {
        sigset_t all;
        sigfillset(&all);
        pthread_sigmask(SIG_BLOCK, &all, &previous_);
    }
    ~SignalsBlocked() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }

private:
    sigset_t previous_;
};

} // namespace

bool cut_file(FILE* out) {
    struct stat status {};
    const int fd = fileno(out);
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))
        return true;
    return ftruncate(fd, 0) == 0;
}

PieceWriter::PieceWriter(FILE* out, size_t room, bool cut_first)
    : out_(out), cut_first_(cut_first) {
    in_flight_.reserve(room);
    SignalsBlocked blocked;
    thread_ = std::thread([this] { write_pieces(); });
}

PieceWriter::~PieceWriter() {
    {
        std::unique_lock lock(mutex_);
        wait_until_idle(lock);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void PieceWriter::wait_until_idle(std::unique_lock<std::mutex>& lock) {
    changed_.wait(lock, [this] { return !busy_; });
}

void PieceWriter::hand_over(std::string& piece) {
    {
        std::unique_lock lock(mutex_);
        wait_until_idle(lock);
        in_flight_.swap(piece);
        busy_ = true;
    }
    changed_.notify_all();
}

bool PieceWriter::finish() {
    std::unique_lock lock(mutex_);
    wait_until_idle(lock);
    return !failed_;
}

void PieceWriter::write_pieces() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return busy_ || stopping_; });
        if (!busy_)
            return;
        // The piece is the thread's until busy_ is cleared, so it is written
        // without the lock.
        lock.unlock();
        const bool cut = !cut_first_ || cut_file(out_);
        cut_first_ = false;
        const bool written =
            cut && std::fwrite(in_flight_.data(), 1, in_flight_.size(), out_) == in_flight_.size();
        in_flight_.clear();
        lock.lock();
        failed_ = failed_ || !written;
        busy_ = false;
        changed_.notify_all();
    }
}

} // namespace vx::icode
