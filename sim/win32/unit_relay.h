/* What passes between the test driver (knot_unit.sys) and knot-unit-sim.exe, which answers every
   request of a unit's device from user mode: the driver keeps each request pending, hands it to
   the simulator through a request of the simulator's own on the relay device, and completes it
   with the simulator's answer. Plain C: the driver includes it too. */
#pragma once

#ifdef __cplusplus
#include <cstdint>
#else
#include <stdint.h>
#endif

#ifdef __cplusplus
namespace knot::sim {
#endif

/* The driver's service, the file the service loads and the relay device's names. */
#define UNIT_RELAY_SERVICE "knot_unit"
#define UNIT_RELAY_DRIVER_FILE "knot_unit.sys"
#define UNIT_RELAY_KERNEL_NAME L"\\Device\\KnotUnitRelay"
#define UNIT_RELAY_KERNEL_LINK L"\\DosDevices\\KnotUnitRelay"
#define UNIT_RELAY_USER_PATH "\\\\.\\KnotUnitRelay"

/* The relay device's control codes: device type 0x8000, buffered, any access. */
#define UNIT_RELAY_CODE(function) ((0x8000u << 16) | ((function) << 2))
/* Output: one UnitRelayRequest, once a unit's device has a request to pass on. */
#define IOCTL_RELAY_NEXT UNIT_RELAY_CODE(0x900u)
/* Input: one UnitRelayAnswer. Fails when the request is no longer pending (it was cancelled). */
#define IOCTL_RELAY_ANSWER UNIT_RELAY_CODE(0x901u)

/* The most bytes a request or an answer carries: the largest buffer a unit's caller offers. */
#define UNIT_RELAY_MAX_DATA 256u

/* The unit's name as the simulator gives it to the device (its friendly-name property):
   "N" or "N EVENT", N the unit's number, EVENT the disconnect event's name, if it has one. */
#define UNIT_RELAY_NAME_MAX 96u

typedef struct UnitRelayRequest {
    uint64_t id;      /* names the request in the answer */
    int32_t unit;     /* the unit's number, from its name */
    uint32_t code;    /* the control code the unit's caller gave */
    uint32_t inSize;  /* bytes of `input` that are the caller's input */
    uint32_t outSize; /* the capacity of the caller's output buffer */
    uint8_t input[UNIT_RELAY_MAX_DATA];
} UnitRelayRequest;

typedef struct UnitRelayAnswer {
    uint64_t id;
    uint32_t ok;   /* 0: the request fails */
    uint32_t size; /* bytes of `output` for the caller; at most the request's outSize */
    uint8_t output[UNIT_RELAY_MAX_DATA];
} UnitRelayAnswer;

#ifdef __cplusplus
} // namespace knot::sim
#endif
