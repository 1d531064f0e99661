#pragma once
// What every benchmark program shares so that it ends whatever it started, however it ends:
// failures unwind to main, where `guarded` reports them, and each folder or process is owned by
// an object that ends it on the way out.

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>

namespace qm::bench {

// The benchmark could not measure (a tool failed, a frame went missing).
class BenchFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// QM_BENCH_SHORT=1: a run that only proves the benchmark works, as the test suite makes it;
// its figures mean nothing.
bool shortRun();
// `full` rounds, or one in a short run.
int rounds(int full);

// A new folder under the system's temporary folder, removed with its contents.
class TempFolder {
public:
    explicit TempFolder(const std::string& prefix);
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const noexcept { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// Runs main's body; an exception out of it is reported and gives status 1, after every object
// on the way has been destroyed (an uncaught one would end the program without that).
int guarded(const std::function<int()>& body);

}  // namespace qm::bench
