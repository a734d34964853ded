// Where this installation talks to and how long it waits: one place for the servers
// and the time limits, with a scoped override for tests.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace tarvel {

struct Deployment {
    // Base URLs without a trailing slash; the callers append their paths.
    std::string repositoryServer = "http://repository.tarvel.example";
    std::string updateServer = "http://update.tarvel.example";
    // The installer is code that will run: it comes over HTTPS only.
    std::string installerServer = "https://update.tarvel.example";
    // The support site's root page (Help, the About dialog's support link).
    std::string supportSite = "https://support.tarvel.example/";
    // Longest wait for a connection (name lookup, connect, TLS handshake).
    std::chrono::milliseconds connectTimeout{std::chrono::seconds(15)};
    // A transfer is stalled, and aborted, when fewer than stallBytesPerSecond arrive
    // per second for stallTime. Large downloads that keep moving are never cut off.
    long stallBytesPerSecond = 1;
    std::chrono::seconds stallTime{30};
    // Text answers held in memory (the callback, crs.json, the repository file, the
    // changelog): at most this many bytes and this long each.
    std::uint64_t maxTextBytes = std::uint64_t{4} << 20;
    std::chrono::milliseconds textTotalTime{std::chrono::seconds(20)};
    // One probe of a semaphore URL; it reads no more than the body's first byte.
    std::chrono::milliseconds probeTotalTime{std::chrono::seconds(20)};
    // A library logo.
    std::uint64_t maxPictureBytes = std::uint64_t{4} << 20;
    std::chrono::milliseconds pictureTotalTime{std::chrono::seconds(30)};
    // An artifact may be large and slow: it has no total time, only the stall limit and
    // at most maxZipBytes (below).
    // The installer is fetched on the user-interface thread, which waits for it: the
    // stall limit, maxZipBytes and this long at most.
    std::chrono::milliseconds installerTotalTime{std::chrono::minutes(5)};
    // The requests start-up makes on the user-interface thread, all together.
    std::chrono::milliseconds startUpBudget{std::chrono::seconds(30)};
    // The library dialog's loading (profile, repository, logos), all together, on the
    // user-interface thread before the dialog opens.
    std::chrono::milliseconds libraryDialogBudget{std::chrono::seconds(15)};
    // Between two probes of a semaphore URL.
    std::chrono::milliseconds semaphorePollPeriod{1111};
    // One zip extraction: at most this many entries in the archive and this many
    // bytes written. Far above any product's CAD data; an archive past them is refused.
    // maxZipBytes also bounds each downloaded artifact and the installer.
    std::size_t maxZipEntries = 1000;
    std::uint64_t maxZipBytes = std::uint64_t{256} << 20;
    // Tests only: PEM certificates trusted in place of the system's store, so that a
    // loopback HTTPS server with a test authority can be reached. Empty in production.
    std::string testTrustedAuthorities;
};

// A copy of the settings in force; safe from any thread. The servers start from the
// values above; a stand-in installation points them elsewhere through the environment
// (TARVEL_REPOSITORY_SERVER, TARVEL_UPDATE_SERVER, TARVEL_INSTALLER_SERVER,
// TARVEL_SUPPORT_SITE), read once at the first use.
Deployment CurrentDeployment();

// Replaces the settings for its lifetime (tests); restores the previous ones after.
class ScopedDeployment {
public:
    explicit ScopedDeployment(Deployment deployment);
    ~ScopedDeployment();
    ScopedDeployment(const ScopedDeployment&) = delete;
    ScopedDeployment& operator=(const ScopedDeployment&) = delete;

private:
    Deployment previous_;
};

}  // namespace tarvel
