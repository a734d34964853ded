// The progress dialog of the palette's downloads, run by the scripted user while a
// worker thread reports to it as the palette's view passes the reports on.
#include "DialogFixture.hpp"
#include "DialogNames.hpp"
#include "controllers/ToolbarController.hpp"
#include "dialogs/ProgressDialog.hpp"
#include "standin/Dialogs.hpp"
#include "standin/Win.hpp"
#include "transfer/ClipboardMessage.hpp"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

namespace tarvel::testing {
namespace {

namespace dg = standin::dg;
using dialogs::ProgressDialog;
using namespace std::chrono_literals;

dg::ItemInfo Bar() { return *dg::FindItem(ids::Progress::Dialog, ids::Progress::Bar); }

// A download worker on a thread of its own: it reports to the dialog what the test
// tells it to, in order.
class Worker {
public:
    explicit Worker(ProgressDialog& dialog) : dialog_(dialog), thread_([this] { Run(); }) {}
    ~Worker()
    {
        Post(nullptr);
        thread_.join();
    }

    void Report(std::int16_t percent)
    {
        Post([this, percent] { dialog_.SetPercent(percent); });
    }
    void Finish()
    {
        Post([this] { dialog_.SetDone(); });
    }
    // Returns when everything posted so far has been reported.
    void Flush()
    {
        auto reported = std::make_shared<std::promise<void>>();
        std::future<void> flushed = reported->get_future();
        Post([reported] { reported->set_value(); });
        flushed.wait();
    }

private:
    void Post(std::function<void()> step)
    {
        {
            std::lock_guard lock(mutex_);
            steps_.push_back(std::move(step));
        }
        wake_.notify_one();
    }
    void Run()
    {
        for (;;) {
            std::function<void()> step;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [this] { return !steps_.empty(); });
                step = std::move(steps_.front());
                steps_.pop_front();
            }
            if (!step)
                return;
            step();
        }
    }

    ProgressDialog& dialog_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> steps_;
    std::thread thread_;
};

class ProgressDialogTest : public DialogFixture {
protected:
    ToolbarController controller;
};

TEST_F(ProgressDialogTest, TheBarFollowsTheReportsAndACompletionDuringTheLoopClosesIt)
{
    ProgressDialog dialog(controller);
    Worker worker(dialog);
    const std::string picture = PicturePath("progress.png");
    std::vector<std::int32_t> seen;
    auto look = [&] { seen.push_back(Bar().value); };
    dialog.BeginDownload();
    dg::User(ids::Progress::Dialog)
        .Do("look at the start", look)
        .Do("25 %", [&] { worker.Report(25), worker.Flush(); })
        .Wait("the bar shows 25 %", [] { return Bar().value == 29; })
        // Nothing moves the bar backwards, and 0 does not move it.
        .Do("0 % and 20 %", [&] { worker.Report(0), worker.Report(20), worker.Flush(); })
        .Do("look", look)
        .Do("50 %", [&] { worker.Report(50), worker.Flush(); })
        .Wait("the bar shows 50 %", [] { return Bar().value == 54; })
        .Picture(picture)
        .Do("100 %", [&] { worker.Report(100), worker.Flush(); })
        .Wait("the bar shows 100 %", [] { return Bar().value == 104; })
        .Do("the download completes", [&] { worker.Finish(); });
    EXPECT_TRUE(dialog.Run());

    EXPECT_EQ(seen, (std::vector<std::int32_t>{1, 29}));
    EXPECT_EQ(Bar().min, 0);
    EXPECT_EQ(Bar().max, 104);
    EXPECT_EQ(dg::Steps().back(), "close " + Named(ids::Progress::Dialog) + " (accepted)");
    EXPECT_EQ(dg::FindPanel(ids::Progress::Dialog)->idleForInactiveApp, false);

    // Half the bar is filled at 50 %: 54 of 104.
    dg::Picture shown = dg::ReadPng(picture);
    const dg::Picture now = dg::RenderPanel(ids::Progress::Dialog);
    shown.clientLeft = now.clientLeft;
    shown.clientTop = now.clientTop;
    const DG::Rect bar = Bar().rect;
    auto at = [&](double part) {
        return shown.At(shown.clientLeft + bar.left + static_cast<int>(bar.GetWidth() * part),
                        shown.clientTop + (bar.top + bar.bottom) / 2);
    };
    const std::uint32_t filled = at(0.45);
    EXPECT_GT(filled >> 8 & 0xFF, filled >> 16 & 0xFF) << std::hex << filled;  // green
    EXPECT_EQ(at(0.6), 0xFFE6E6E6u);
}

TEST_F(ProgressDialogTest, ACompletionBeforeTheLoopClosesItAtTheFirstIdleEvent)
{
    ProgressDialog dialog(controller);
    Worker worker(dialog);
    dialog.BeginDownload();
    worker.Report(100);
    worker.Finish();
    worker.Flush();

    // What came before the loop is kept: the same idle event moved the bar and closed
    // the dialog.
    EXPECT_TRUE(dialog.Run());
    EXPECT_EQ(Bar().value, 104);
}

TEST_F(ProgressDialogTest, CancelLetsTheDownloadGoAndALateCompletionDoesNotEndTheNextRun)
{
    ProgressDialog dialog(controller);
    Worker worker(dialog);
    controller.downloadBusy = true;
    ASSERT_TRUE(standin::win::SetClipboardBytes(std::string(kMessageStart) + "eyJ9" + kMessageEnd));
    dialog.BeginDownload();
    dg::User(ids::Progress::Dialog)
        .Do("50 %", [&] { worker.Report(50), worker.Flush(); })
        .Wait("the bar shows 50 %", [] { return Bar().value == 54; })
        .Click(ids::Progress::Cancel);
    EXPECT_FALSE(dialog.Run());
    EXPECT_FALSE(controller.downloadBusy);
    EXPECT_TRUE(controller.IsIdle());
    EXPECT_EQ(standin::win::ClipboardText(), std::nullopt);

    // The cancelled download completes after the loop; then the next one starts.
    worker.Finish();
    worker.Flush();
    dialog.BeginDownload();
    std::int32_t start = -1;
    const auto opened = std::chrono::steady_clock::now();
    dg::User(ids::Progress::Dialog)
        .Do("look at the start", [&] { start = Bar().value; })
        .Wait("ten idle events", [&] { return std::chrono::steady_clock::now() - opened > 10 * dg::IdlePeriod; })
        .Do("the download completes", [&] { worker.Finish(); });
    EXPECT_TRUE(dialog.Run());
    EXPECT_EQ(start, 1);
}

// The window's close box is a Cancel; the completion's own close keeps the download
// for the library part.
TEST_F(ProgressDialogTest, TheCloseBoxLetsTheDownloadGoAsCancelDoes)
{
    const std::string message = std::string(kMessageStart) + "eyJ9" + kMessageEnd;
    ProgressDialog dialog(controller);
    controller.downloadBusy = true;
    ASSERT_TRUE(standin::win::SetClipboardBytes(message));
    dialog.BeginDownload();
    dg::User(ids::Progress::Dialog).CloseBox();
    EXPECT_FALSE(dialog.Run());
    EXPECT_TRUE(controller.IsIdle());
    EXPECT_EQ(standin::win::ClipboardText(), std::nullopt);

    controller.downloadBusy = true;
    ASSERT_TRUE(standin::win::SetClipboardBytes(message));
    dialog.BeginDownload();
    dialog.SetDone();
    EXPECT_TRUE(dialog.Run());
    EXPECT_FALSE(controller.IsIdle());
    EXPECT_EQ(standin::win::ClipboardText(), message);
    controller.downloadBusy = false;
}

}  // namespace
}  // namespace tarvel::testing
