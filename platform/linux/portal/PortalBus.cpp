#include "platform/linux/portal/PortalBus.h"

#include <cstdint>
#include <cstring>

namespace platform::linux_portal {
namespace {

template <typename Number>
int ReadNumber(sd_bus_message* message, char type, Number& number) {
    return sd_bus_message_read_basic(message, type, &number);
}

int ReadBasic(sd_bus_message* message, char type, BusValue& value) {
    int result = 0;
    switch (type) {
        case SD_BUS_TYPE_BYTE: {
            std::uint8_t number = 0;
            result = ReadNumber(message, type, number);
            value.kind = BusValue::Kind::Unsigned;
            value.unsignedValue = number;
            return result;
        }
        case SD_BUS_TYPE_UINT16: {
            std::uint16_t number = 0;
            result = ReadNumber(message, type, number);
            value.kind = BusValue::Kind::Unsigned;
            value.unsignedValue = number;
            return result;
        }
        case SD_BUS_TYPE_UINT32: {
            std::uint32_t number = 0;
            result = ReadNumber(message, type, number);
            value.kind = BusValue::Kind::Unsigned;
            value.unsignedValue = number;
            return result;
        }
        case SD_BUS_TYPE_UINT64: {
            std::uint64_t number = 0;
            result = ReadNumber(message, type, number);
            value.kind = BusValue::Kind::Unsigned;
            value.unsignedValue = number;
            return result;
        }
        case SD_BUS_TYPE_INT16: {
            std::int16_t number = 0;
            result = ReadNumber(message, type, number);
            value.kind = BusValue::Kind::Signed;
            value.signedValue = number;
            return result;
        }
        case SD_BUS_TYPE_INT32: {
            std::int32_t number = 0;
            result = ReadNumber(message, type, number);
            value.kind = BusValue::Kind::Signed;
            value.signedValue = number;
            return result;
        }
        case SD_BUS_TYPE_INT64: {
            std::int64_t number = 0;
            result = ReadNumber(message, type, number);
            value.kind = BusValue::Kind::Signed;
            value.signedValue = number;
            return result;
        }
        case SD_BUS_TYPE_BOOLEAN: {
            int flag = 0;
            result = ReadNumber(message, type, flag);
            value.kind = BusValue::Kind::Boolean;
            value.boolean = flag != 0;
            return result;
        }
        case SD_BUS_TYPE_DOUBLE: {
            double number = 0;
            result = ReadNumber(message, type, number);
            value.kind = BusValue::Kind::Real;
            value.real = number;
            return result;
        }
        case SD_BUS_TYPE_STRING:
        case SD_BUS_TYPE_OBJECT_PATH:
        case SD_BUS_TYPE_SIGNATURE: {
            const char* text = nullptr;
            result = ReadNumber(message, type, text);
            value.kind = BusValue::Kind::Text;
            value.text = text != nullptr ? text : "";
            return result;
        }
        case SD_BUS_TYPE_UNIX_FD: {
            int descriptor = -1;
            value.kind = BusValue::Kind::None;
            return ReadNumber(message, type, descriptor);
        }
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
