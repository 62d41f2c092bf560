#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "service/CaptureService.h"
#include "tests/support/LoopbackClient.h"
#include "tests/support/LoopbackPort.h"
#include "tests/support/TempDir.h"

// Remembers every status notification, in order.
class RecordingStatusSink final : public StatusSink {
  public:
    void SetStatusClient(const char* text) override { Add("client:" + std::string(text)); }
    void SetStatusActivity(const char* text) override { Add("activity:" + std::string(text)); }
    void SetHitCount(std::uint32_t count) override { Add("hits:" + std::to_string(count)); }
    std::vector<std::string> Events() {
        std::lock_guard guard(lock);
        return events;
    }

  private:
    void Add(std::string event) {
        std::lock_guard guard(lock);
        events.push_back(std::move(event));
    }
    std::mutex lock;
    std::vector<std::string> events;
};

// A service whose captures only count, or run a test's own writer, instead of reading the screen.
class FakeCaptureService : public CaptureService {
  public:
    using CaptureService::CaptureService;
    ~FakeCaptureService() override { Shutdown(); }

    std::atomic<int> captures{0};
    // Runs for each capture when set; called under the capture lock.
    std::function<void(const char* fileName)> writer;

  protected:
    imaging::CaptureResult RunCaptureJob(const char* fileName) override {
        ++captures;
        if (writer) {
            writer(fileName);
        }
        return imaging::CaptureResult::Captured;
    }
};

// A service living in a fresh folder as if its executable were there, started on a free loopback port.
template <class Service = FakeCaptureService>
class ServiceHarness {
  public:
    ServiceHarness() : service(folder.File("qvserver")) {}
    ~ServiceHarness() { service.StopAndWait(std::chrono::seconds(10)); }

    // Starts on a free port; false when none could be had after a few tries.
    bool Start() {
        for (int attempt = 0; attempt < 5; ++attempt) {
            port = FreePort();
            if (service.Start(port) == StartResult::Started) {
                return true;
            }
        }
        return false;
    }
    std::string LogText() const { return TempDir::ReadFile(folder.File("log.txt")); }

    TempDir folder;
    Service service;
    int port = 0;
};
