#pragma once

#include <cstdint>

// What the server's threads tell the user: who asked last, whether a picture is being compressed, how many
// pictures were asked for. Called from worker and capture threads, never from the GUI thread. An
// implementation copies the text before returning and never waits for the GUI thread: the callers may
// hold the capture lock.
class StatusSink {
  public:
    virtual ~StatusSink() = default;
    virtual void SetStatusClient(const char* text) = 0;
    virtual void SetStatusActivity(const char* text) = 0;
    virtual void SetHitCount(std::uint32_t count) = 0;
};

// The sink in use until a panel exists: every notification returns at once.
class NullStatusSink final : public StatusSink {
  public:
    void SetStatusClient(const char*) override {}
    void SetStatusActivity(const char*) override {}
    void SetHitCount(std::uint32_t) override {}
};
