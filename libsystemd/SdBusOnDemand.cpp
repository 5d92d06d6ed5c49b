// The sd-bus calls of the service's clients (OnDemand.h): only a change set the registry
// refused goes to the service, so every other command starts without the library.
#include "OnDemand.h"

#include <systemd/sd-bus.h>

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

using marrowick::libsystemd::LoadFailure;
using marrowick::libsystemd::Resolve;

LIBSYSTEMD_ON_DEMAND(int, sd_bus_open_system, -ELIBACC, (sd_bus * *bus), (bus))
LIBSYSTEMD_ON_DEMAND(sd_bus*, sd_bus_flush_close_unref, nullptr, (sd_bus * bus), (bus))
LIBSYSTEMD_ON_DEMAND(int, sd_bus_call, -ELIBACC,
                     (sd_bus * bus, sd_bus_message* message, uint64_t usec, sd_bus_error* error,
                      sd_bus_message** reply),
                     (bus, message, usec, error, reply))
LIBSYSTEMD_ON_DEMAND(int, sd_bus_message_new_method_call, -ELIBACC,
                     (sd_bus * bus, sd_bus_message** message, const char* destination,
                      const char* path, const char* interface, const char* member),
                     (bus, message, destination, path, interface, member))
LIBSYSTEMD_ON_DEMAND(int, sd_bus_message_set_allow_interactive_authorization, -ELIBACC,
                     (sd_bus_message * message, int allow), (message, allow))
LIBSYSTEMD_ON_DEMAND(sd_bus_message*, sd_bus_message_unref, nullptr, (sd_bus_message * message),
                     (message))
LIBSYSTEMD_ON_DEMAND(int, sd_bus_message_appendv, -ELIBACC,
                     (sd_bus_message * message, const char* types, va_list values),
                     (message, types, values))
LIBSYSTEMD_ON_DEMAND(int, sd_bus_message_append_basic, -ELIBACC,
                     (sd_bus_message * message, char type, const void* value),
                     (message, type, value))
LIBSYSTEMD_ON_DEMAND(int, sd_bus_message_append_array, -ELIBACC,
                     (sd_bus_message * message, char type, const void* data, size_t size),
                     (message, type, data, size))
LIBSYSTEMD_ON_DEMAND(int, sd_bus_message_open_container, -ELIBACC,
                     (sd_bus_message * message, char type, const char* contents),
                     (message, type, contents))
LIBSYSTEMD_ON_DEMAND(int, sd_bus_message_close_container, -ELIBACC, (sd_bus_message * message),
                     (message))
LIBSYSTEMD_ON_DEMAND(int, sd_bus_message_readv, -ELIBACC,
                     (sd_bus_message * message, const char* types, va_list values),
                     (message, types, values))
LIBSYSTEMD_ON_DEMAND(int, sd_bus_message_read_basic, -ELIBACC,
                     (sd_bus_message * message, char type, void* value), (message, type, value))
LIBSYSTEMD_ON_DEMAND(int, sd_bus_message_read_array, -ELIBACC,
                     (sd_bus_message * message, char type, const void** data, size_t* size),
                     (message, type, data, size))
LIBSYSTEMD_ON_DEMAND(int, sd_bus_message_enter_container, -ELIBACC,
                     (sd_bus_message * message, char type, const char* contents),
                     (message, type, contents))
LIBSYSTEMD_ON_DEMAND(int, sd_bus_message_exit_container, -ELIBACC, (sd_bus_message * message),
                     (message))

int sd_bus_message_append(sd_bus_message* message, const char* types, ...) {
    va_list values;
    va_start(values, types);
    const int result = sd_bus_message_appendv(message, types, values);
    va_end(values);
    return result;
}

int sd_bus_message_read(sd_bus_message* message, const char* types, ...) {
    va_list values;
    va_start(values, types);
    const int result = sd_bus_message_readv(message, types, values);
    va_end(values);
    return result;
}

// Without the library an error holds static text only, so freeing it has nothing to do.
int sd_bus_error_set_errno(sd_bus_error* error, int code) {
    static const auto call = Resolve<decltype(sd_bus_error_set_errno)>("sd_bus_error_set_errno");
    if (call) return call(error, code);
    if (code == 0) return 0;
    if (error && !error->name) {
        error->name = SD_BUS_ERROR_FAILED;
        error->message = LoadFailure().c_str();
        error->_need_free = 0;
    }
    return -std::abs(code);
}

int sd_bus_error_has_name(const sd_bus_error* error, const char* name) {
    static const auto call = Resolve<decltype(sd_bus_error_has_name)>("sd_bus_error_has_name");
    if (call) return call(error, name);
    return error && error->name && name && std::strcmp(error->name, name) == 0;
}

void sd_bus_error_free(sd_bus_error* error) {
    static const auto call = Resolve<decltype(sd_bus_error_free)>("sd_bus_error_free");
    if (call) call(error);
}
