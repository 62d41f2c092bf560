#include "platform/linux/portal/PortalBus.h"

#include <cstdint>
#include <cstring>

namespace platform::linux_portal {
namespace {

// Reads one basic value of type as Raw and keeps it in value as the given kind; keep stores it.
template <typename Raw, typename Keep>
int ReadAs(sd_bus_message* message, char type, BusValue& value, BusValue::Kind kind, Keep keep) {
    Raw raw{};
    const int result = sd_bus_message_read_basic(message, type, &raw);
    value.kind = kind;
    keep(raw);
    return result;
}

template <typename Raw>
int ReadUnsigned(sd_bus_message* message, char type, BusValue& value) {
    return ReadAs<Raw>(message, type, value, BusValue::Kind::Unsigned,
                       [&value](Raw raw) { value.unsignedValue = raw; });
}

template <typename Raw>
int ReadSigned(sd_bus_message* message, char type, BusValue& value) {
    return ReadAs<Raw>(message, type, value, BusValue::Kind::Signed,
                       [&value](Raw raw) { value.signedValue = raw; });
}

int ReadBasic(sd_bus_message* message, char type, BusValue& value) {
    switch (type) {
        case SD_BUS_TYPE_BYTE:
            return ReadUnsigned<std::uint8_t>(message, type, value);
        case SD_BUS_TYPE_UINT16:
            return ReadUnsigned<std::uint16_t>(message, type, value);
        case SD_BUS_TYPE_UINT32:
            return ReadUnsigned<std::uint32_t>(message, type, value);
        case SD_BUS_TYPE_UINT64:
            return ReadUnsigned<std::uint64_t>(message, type, value);
        case SD_BUS_TYPE_INT16:
            return ReadSigned<std::int16_t>(message, type, value);
        case SD_BUS_TYPE_INT32:
            return ReadSigned<std::int32_t>(message, type, value);
        case SD_BUS_TYPE_INT64:
            return ReadSigned<std::int64_t>(message, type, value);
        case SD_BUS_TYPE_BOOLEAN:
            return ReadAs<int>(message, type, value, BusValue::Kind::Boolean,
                               [&value](int flag) { value.boolean = flag != 0; });
        case SD_BUS_TYPE_DOUBLE:
            return ReadAs<double>(message, type, value, BusValue::Kind::Real,
                                  [&value](double real) { value.real = real; });
        case SD_BUS_TYPE_STRING:
        case SD_BUS_TYPE_OBJECT_PATH:
        case SD_BUS_TYPE_SIGNATURE:
            return ReadAs<const char*>(
                message, type, value, BusValue::Kind::Text,
                [&value](const char* text) { value.text = text != nullptr ? text : ""; });
        case SD_BUS_TYPE_UNIX_FD:
            // A descriptor in an answer is not kept: it stays the message's.
            return ReadAs<int>(message, type, value, BusValue::Kind::None, [](int) {});
        default:
            return -EBADMSG;
    }
}

// The entries of an array of dictionary entries; entry is the entry's signature without its braces.
int ReadDictionary(sd_bus_message* message, const std::string& entry, BusValue& value) {
    value.kind = BusValue::Kind::Dictionary;
    for (;;) {
        int result = sd_bus_message_enter_container(message, SD_BUS_TYPE_DICT_ENTRY, entry.c_str());
        if (result <= 0) {
            return result;
        }
        BusValue key;
        BusValue item;
        result = ReadBusValue(message, key);
        if (result > 0) {
            result = ReadBusValue(message, item);
        }
        if (result <= 0) {
            return result < 0 ? result : -EBADMSG;
        }
        result = sd_bus_message_exit_container(message);
        if (result < 0) {
            return result;
        }
        value.keys.push_back(key.kind == BusValue::Kind::Text ? key.text : std::to_string(key.unsignedValue));
        value.items.push_back(std::move(item));
    }
}

int ReadList(sd_bus_message* message, BusValue& value) {
    value.kind = BusValue::Kind::List;
    for (;;) {
        BusValue item;
        const int result = ReadBusValue(message, item);
        if (result <= 0) {
            return result;
        }
        value.items.push_back(std::move(item));
    }
}

}  // namespace

BusConnection OpenBus(const std::string& address) {
    sd_bus* bus = nullptr;
    if (address.empty()) {
        if (sd_bus_open_user(&bus) < 0) {
            return nullptr;
        }
        return BusConnection(bus);
    }
    if (sd_bus_new(&bus) < 0) {
        return nullptr;
    }
    BusConnection connection(bus);
    if (sd_bus_set_address(bus, address.c_str()) < 0 || sd_bus_set_bus_client(bus, 1) < 0 ||
        sd_bus_start(bus) < 0) {
        return nullptr;
    }
    return connection;
}

int ReadBusValue(sd_bus_message* message, BusValue& value) {
    char type = 0;
    const char* contents = nullptr;
    int result = sd_bus_message_peek_type(message, &type, &contents);
    if (result <= 0) {
        return result;
    }
    if (type != SD_BUS_TYPE_ARRAY && type != SD_BUS_TYPE_VARIANT && type != SD_BUS_TYPE_STRUCT) {
        return ReadBasic(message, type, value) < 0 ? -EBADMSG : 1;
    }
    result = sd_bus_message_enter_container(message, type, contents);
    if (result <= 0) {
        return result < 0 ? result : -EBADMSG;
    }
    const std::size_t contentsLength = std::strlen(contents);
    if (type == SD_BUS_TYPE_VARIANT) {
        result = ReadBusValue(message, value);
        if (result == 0) {
            result = -EBADMSG;
        }
    } else if (type == SD_BUS_TYPE_ARRAY && contents[0] == SD_BUS_TYPE_DICT_ENTRY_BEGIN &&
               contentsLength > 2) {
        result = ReadDictionary(message, std::string(contents + 1, contentsLength - 2), value);
    } else {
        result = ReadList(message, value);
    }
    if (result < 0) {
        return result;
    }
    result = sd_bus_message_exit_container(message);
    return result < 0 ? result : 1;
}

}  // namespace platform::linux_portal
