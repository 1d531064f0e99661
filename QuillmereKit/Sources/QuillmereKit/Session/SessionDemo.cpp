#include <utility>

#include "QuillmereCore/Log.h"
#include "QuillmereKit/Demo/DemoPlayer.h"
#include "QuillmereKit/Demo/DemoSource.h"
#include "QuillmereKit/Session/Session.h"

namespace qm {

GuiTask<void> Session::startDemo(std::filesystem::path streamFile) {
    reconnect_.userStopped();
    GuiTask<void> done(this);
    stopStreaming([this, done, streamFile = std::move(streamFile)](std::int64_t generation) {
        if (generation != generation_) {
            done.settle(TaskOutcome<void>());
            return;
        }
        show(SessionPhase::starting());
        // Read off this thread: the capture may be large.
        tasks_.spawn("demo.open",
                     [this, main = main_, done, generation, streamFile](std::stop_token) {
                         std::shared_ptr<DemoSource> source;
                         std::exception_ptr error;
                         try {
                             source = std::make_shared<DemoSource>(DemoSource::open(streamFile));
                         } catch (...) {
                             error = std::current_exception();
                         }
                         main->post([this, done, generation, streamFile, source, error] {
                             demoOpened(done, generation, streamFile, source, error);
                         });
                     });
    });
    return done;
}

void Session::demoOpened(const GuiTask<void>& done, std::int64_t generation,
                         const std::filesystem::path& streamFile,
                         const std::shared_ptr<DemoSource>& source,
                         const std::exception_ptr& error) {
    if (generation != generation_) {
        done.settle(TaskOutcome<void>());
        return;
    }
    if (error) {
        fail(failure(error), done);  // "demo stream: badMagic"
        return;
    }
    stage_->replaceDecoder(makeDecoder(generation));
    recoveryOpen_ = true;
    show(SessionPhase::streaming());
    Log::session().info("demo stream started: {}",
                        Log::privateValue(streamFile.filename().string()));
    demoPlayer_ = std::make_unique<DemoPlayer>(
        std::move(*source), *stage_, [this, generation] { return makeDecoder(generation); },
        [this, main = main_, generation](std::exception_ptr ended) {
            main->post([this, ended, generation] { videoReaderEnded(ended, generation); });
        },
        demoClock_, setThreadPriority_);
    done.settle(TaskOutcome<void>());
}

}  // namespace qm
