#include "window/background_remover.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "core/log.h"
#include "platform/errors.h"
#include "support/fake_product.h"

namespace {

// The window's side, without a window: a timer id, the posted messages, real worker threads.
class TestHost : public RemoverHost {
public:
    UINT_PTR startLogTimer() override { return 17; }
    void post(UINT message) override { posted.push_back(message); }
    std::unique_ptr<WorkerThread> startThread(Callable& job) override
    {
        if (refuseThreads)
            throw WindowsPlatform::ThreadError(11);
        return std::make_unique<Worker>(job);
    }

    std::vector<UINT> posted;
    bool refuseThreads = false;

private:
    struct Worker : WorkerThread {
        explicit Worker(Callable& job) : thread([&job] { job.run(); }) {}
        ~Worker() override { thread.join(); }
        std::thread thread;
    };
};

class BackgroundRemoverTest : public ::testing::Test {
protected:
    // Starts the job and waits for its worker, as the window does on the completion message.
    void detectAll(const std::vector<QTVProduct*>& components)
    {
        remover.startDetection(components);
        remover.releaseWorker();
    }
    void removeAll(const std::vector<QTVProduct*>& components)
    {
        remover.startRemoval(components);
        remover.releaseWorker();
    }
    std::vector<QTVProduct*> all()
    {
        std::vector<QTVProduct*> products;
        for (const auto& product : suite.products)
            products.push_back(product.get());
        return products;
    }
    // The log without the banners.
    std::vector<std::u16string> lines()
    {
        std::vector<std::u16string> kept;
        const std::u16string text = TakeLogText(queue).value_or(u"");
        std::size_t start = 0;
        for (std::size_t end; (end = text.find(u"\r\n", start)) != std::u16string::npos; start = end + 2) {
            const std::u16string line = text.substr(start, end - start);
            if (!line.empty() && line[0] != u'*' && line[0] != u'x')
                kept.push_back(line);
        }
        return kept;
    }

    LogQueue queue;
    Remove::MessageLog log{&queue};
    FakeSuite suite{&log};
    TestHost host;
    BackgroundRemover remover{&host, &log};
};

TEST_F(BackgroundRemoverTest, DetectionKeepsTheInstalledInTheOrderGiven)
{
    suite[ProductId::MSDE].onMachine = true;
    suite[ProductId::Relay].onMachine = true;
    suite[ProductId::WebUI].onMachine = true;

    detectAll(all());

    EXPECT_EQ(remover.products(), (std::vector<QTVProduct*>{&suite[ProductId::WebUI], &suite[ProductId::Relay],
                                                            &suite[ProductId::MSDE]}));
    EXPECT_EQ(remover.timer(), 17u);
    EXPECT_EQ(host.posted, std::vector<UINT>{WM_APP + 1});
    EXPECT_EQ(suite.journal.size(), 14u);
    EXPECT_TRUE(lines().empty());
}

// A failed step is reported, but a component gone afterwards counts as removed; one still there
// does not.
TEST_F(BackgroundRemoverTest, RemovalCountsWhatDetectionNoLongerFinds)
{
    FakeProduct& relay = suite[ProductId::Relay];
    FakeProduct& server = suite[ProductId::Server];
    FakeProduct& agent = suite[ProductId::Client];
    relay.onMachine = server.onMachine = agent.onMachine = true;
    relay.removable = false;
    relay.goesAnyway = true;
    server.removable = false;

    removeAll({&relay, &server, &agent});

    EXPECT_FALSE(remover.succeeded());
    EXPECT_EQ(remover.removals(), (std::vector<QTVProduct*>{&relay, &agent}));
    EXPECT_EQ(lines(), (std::vector<std::u16string>{u"One or more steps in the removal of \"Relay\" has failed.",
                                                    u"One or more steps in the removal of \"Server\" has failed."}));
    EXPECT_EQ(suite.journal, (std::vector<std::string>{"remove Relay", "detect Relay", "remove Server",
                                                       "detect Server", "remove Agent", "detect Agent"}));
    EXPECT_EQ(host.posted, std::vector<UINT>{WM_APP + 2});

    removeAll({});
    EXPECT_TRUE(remover.succeeded());
    EXPECT_TRUE(remover.removals().empty());
    EXPECT_EQ(host.posted, (std::vector<UINT>{WM_APP + 2, WM_APP + 2}));

    // "/timeout 5" on the dialog's command line reaches the uninstallers its worker runs.
    remover.limitUninstallersTo(5);
    suite.journal.clear();
    removeAll({&server});
    EXPECT_EQ(suite.journal, (std::vector<std::string>{"remove Server", "uninstallers end after 5 minutes", "detect Server"}));
}

// The roots go in the removal job that leaves nothing found installed, after its last removal.
TEST_F(BackgroundRemoverTest, TheRootsGoOnceEverythingFoundIsGone)
{
    FakeProduct& relay = suite[ProductId::Relay];
    FakeProduct& agent = suite[ProductId::Client];
    relay.onMachine = agent.onMachine = true;
    detectAll(all());
    suite.journal.clear();
    remover.cleanUpRootsWith([this](Remove::Log* sink) {
        suite.journal.push_back("roots");
        sink->write(u"roots\r\n");
    });

    removeAll({&relay});
    remover.dropUninstalled();
    EXPECT_TRUE(lines().empty()) << "the agent is still there";
    removeAll({&agent});

    EXPECT_EQ(suite.journal, (std::vector<std::string>{"remove Relay", "detect Relay", "remove Agent", "detect Agent", "roots"}));
    EXPECT_EQ(lines(), (std::vector<std::u16string>{u"No more products installed. Removing root folders and reg keys...", u"roots"}));
}

// An exception ends the job with one line, the completion message still comes, and only what is
// known to be installed is offered for removal afterwards.
TEST_F(BackgroundRemoverTest, ExceptionsEndTheJobWithALineAndTheMessage)
{
    suite[ProductId::WebUI].onMachine = true;
    suite[ProductId::Console].throwOnDetect = true;
    suite[ProductId::Console].onMachine = true;
    suite[ProductId::Client].onMachine = true;

    detectAll(all());

    EXPECT_EQ(remover.products(), std::vector<QTVProduct*>{&suite[ProductId::WebUI]});
    EXPECT_EQ(lines(), (std::vector<std::u16string>{u"Detection incomplete: detect failed",
                                                    u"Unhandled exception during product detection: detect failed"}));
    EXPECT_EQ(host.posted, std::vector<UINT>{WM_APP + 1});
    EXPECT_TRUE(remover.detectionIncomplete()) << "the suite's roots must stay";

    suite[ProductId::Relay].onMachine = true;
    suite[ProductId::Relay].detect();
    suite[ProductId::Server].throwOnRemove = true;
    removeAll({&suite[ProductId::WebUI], &suite[ProductId::Server], &suite[ProductId::Relay]});

    EXPECT_FALSE(remover.succeeded());
    EXPECT_EQ(remover.removals(), std::vector<QTVProduct*>{&suite[ProductId::WebUI]});
    EXPECT_EQ(lines(), std::vector<std::u16string>{u"Unhandled exception during product removal: remove failed"});
    EXPECT_EQ(host.posted, (std::vector<UINT>{WM_APP + 1, WM_APP + 2}));
}

TEST_F(BackgroundRemoverTest, AWorkerThatCannotStartIsReportedAfterTheTimerStarted)
{
    host.refuseThreads = true;

    EXPECT_THROW(remover.startDetection(all()), WindowsPlatform::ThreadError);

    EXPECT_EQ(remover.timer(), 17u) << "the window must kill it";
    EXPECT_TRUE(host.posted.empty());
    EXPECT_TRUE(suite.journal.empty());
}

} // namespace
