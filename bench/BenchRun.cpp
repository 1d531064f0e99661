#include "BenchRun.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <system_error>
#include <vector>

#include <stdlib.h>

namespace qm::bench {

bool shortRun() {
    const char* value = std::getenv("QM_BENCH_SHORT");
    return value && std::string_view(value) == "1";
}

int rounds(int full) {
    return shortRun() ? 1 : full;
}

TempFolder::TempFolder(const std::string& prefix) {
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (!::mkdtemp(name.data())) {
        throw BenchFailure("cannot make a temporary folder: " + std::string(std::strerror(errno)));
    }
    path_ = name.data();
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

int guarded(const std::function<int()>& body) {
    try {
        return body();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench: %s\n", error.what());
        return 1;
    }
}

}  // namespace qm::bench
