#pragma once

// Symbols of libvorn that embedding programs may use; everything else stays hidden.
#define VORN_API __attribute__((visibility("default")))

// printf-style argument checking for the runtime's formatting calls.
#define VORN_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
