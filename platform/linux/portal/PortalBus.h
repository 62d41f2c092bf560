#pragma once

// The little of sd-bus the portal client and its tests share: a connection that closes itself, and the
// reading of any D-Bus value into a BusValue.

#include <systemd/sd-bus.h>

#include <memory>
#include <string>

#include "platform/linux/portal/PortalAnswers.h"

namespace platform::linux_portal {

struct BusCloser {
    void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
using BusConnection = std::unique_ptr<sd_bus, BusCloser>;

// A client connection to the bus at address (a D-Bus address such as "unix:path=/run/..."), or to the
// user's session bus when address is empty. Null when it cannot be opened.
BusConnection OpenBus(const std::string& address);

// Reads the next value of message into value. 1 when one was read, 0 at the end of the enclosing
// container, negative (an errno value) on a malformed message.
int ReadBusValue(sd_bus_message* message, BusValue& value);

}  // namespace platform::linux_portal
