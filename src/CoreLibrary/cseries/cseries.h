// Basic types and helpers shared by every module.
#ifndef CSERIES_H
#define CSERIES_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

typedef int8_t int8;
typedef uint8_t uint8;
typedef int16_t int16;
typedef uint16_t uint16;
typedef int32_t int32;
typedef uint32_t uint32;
typedef int64_t int64;
typedef uint64_t uint64;

typedef uint8_t byte;
typedef uint16_t word;

// Stored booleans are 32 bits wide on every build.
typedef int32_t boolean;
#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#define NONE (-1)

// A four-character code, first character in the high byte.
typedef uint32_t file_tag;

// TAG("abcd"): builds a file_tag from a four-character literal. Multi-character
// literals ('abcd') are implementation-defined, so they are not used.
constexpr file_tag TAG(const char (&s)[5])
{
	return (static_cast<uint32_t>(static_cast<uint8_t>(s[0])) << 24) |
		(static_cast<uint32_t>(static_cast<uint8_t>(s[1])) << 16) |
		(static_cast<uint32_t>(static_cast<uint8_t>(s[2])) << 8) |
		static_cast<uint32_t>(static_cast<uint8_t>(s[3]));
}

// Fixed-point types.
typedef int32_t fixed;          // 16.16
typedef int16_t short_fixed;    // 8.8
typedef uint16_t fixed_fraction; // 65536 = 1.0; 65535 stands for "full"

#define FIXED_FRACTIONAL_BITS 16
#define FIXED_ONE (static_cast<fixed>(1) << FIXED_FRACTIONAL_BITS)
#define FIXED_ONE_HALF (FIXED_ONE / 2)
#define INTEGER_TO_FIXED(i) (static_cast<fixed>(static_cast<uint32_t>(i) << FIXED_FRACTIONAL_BITS))
#define FIXED_INTEGERAL_PART(f) ((f) >> FIXED_FRACTIONAL_BITS)
#define SHORT_FIXED_FRACTIONAL_BITS 8
#define SHORT_FIXED_ONE (static_cast<short_fixed>(1 << SHORT_FIXED_FRACTIONAL_BITS))

#define TEST_FLAG(f, b) (((f) & (1u << (b))) != 0)
#define SET_FLAG(f, b, v) ((v) ? ((f) |= (1u << (b))) : ((f) &= ~(1u << (b))))
#define FLAG(b) (1u << (b))

#define NUMBEROF(a) (sizeof(a) / sizeof((a)[0]))

// Functions rather than macros, so that each argument is evaluated once: an
// argument that draws from a random stream must draw once.
template <typename A, typename B>
constexpr std::common_type_t<A, B> MIN(A a, B b) { return a < b ? a : b; }
template <typename A, typename B>
constexpr std::common_type_t<A, B> MAX(A a, B b) { return a > b ? a : b; }
template <typename X, typename L, typename H>
constexpr std::common_type_t<X, L, H> PIN(X x, L lo, H hi) { return x < lo ? lo : (x > hi ? hi : x); }

#define ATTRIBUTE_PRINTF(fmt, first) __attribute__((format(printf, fmt, first)))

// Sizes of stored records must hold on every build.
#define STORED_SIZE(type, size) static_assert(sizeof(type) == (size), #type " has the wrong stored size")

#endif

// The core utilities every module uses (after the guard: they include this file).
#include "byte_swapping.h"
#include "memory.h"
#include "tags_and_strings.h"
