// Where this installation talks to and how long it waits: one place for the servers
// and the time limits, with a scoped override for tests.
#pragma once

#include <chrono>
#include <string>

namespace tarvel {

struct Deployment {
    // Base URLs without a trailing slash; the callers append their paths.
    std::string repositoryServer = "http://repository.tarvel.example";
    std::string updateServer = "http://update.tarvel.example";
    // The support site's root page (Help, the About dialog's support link).
    std::string supportSite = "https://support.tarvel.example/";
    // Longest wait for a connection (name lookup, connect, TLS handshake).
    std::chrono::milliseconds connectTimeout{std::chrono::seconds(30)};
    // A transfer is stalled, and aborted, when fewer than stallBytesPerSecond arrive
    // per second for stallTime. Large downloads that keep moving are never cut off.
    long stallBytesPerSecond = 1;
    std::chrono::seconds stallTime{120};
    // Between two probes of a semaphore URL.
    std::chrono::milliseconds semaphorePollPeriod{1111};
};

// A copy of the settings in force; safe from any thread.
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
