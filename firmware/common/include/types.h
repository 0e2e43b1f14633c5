// Fixed-width names shared by every source file of the firmware, and the
// attribute that turns a function into an interrupt handler.
#ifndef TYPES_H
#define TYPES_H

#include <stdint.h>

typedef uint8_t uint8;
typedef uint16_t uint16;
typedef uint32_t uint32;
typedef uint64_t uint64;
typedef int8_t int8;
typedef int16_t int16;
typedef int32_t int32;
typedef int64_t int64;
typedef uint8 boolean;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

// A handler entered straight from the IRQ exception through the RAM vector
// table: it saves what it uses and returns with "subs pc, lr, #4". The host
// build of the firmware logic has no exception model, so it gets nothing.
#ifdef __arm__
#define IRQ_HANDLER __attribute__((interrupt("IRQ")))
#else
#define IRQ_HANDLER
#endif

// What every driver's open operation takes: a procedure without arguments
// and without result.
typedef void (*isr_t)(void);

#endif
