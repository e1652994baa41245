/* knot_unit.sys: the test driver that makes every plugged virtual unit a device of the unit
   interface class under Windows (or Wine), for tests and the simulator only. It knows nothing of
   the unit's behaviour: every control request on a unit's device stays pending until
   knot-unit-sim.exe, which keeps requests of its own pending on the relay device, has taken it
   and answered it. A receive therefore stays pending as long as the unit is silent, as on a real
   unit, until its caller cancels it. On removal the unit's disconnect event is signalled. */
/* ntifs.h: ntddk.h and the event calls the disconnect event needs */
#include <ntifs.h>

#include "unit_relay.h"

/* {6850537E-9503-42CE-96DD-47049E09BA40}: the unit interface class. */
static const GUID UNIT_INTERFACE_CLASS = {
    0x6850537E, 0x9503, 0x42CE, {0x96, 0xDD, 0x47, 0x04, 0x9E, 0x09, 0xBA, 0x40}};

typedef struct DeviceState {
    BOOLEAN isRelay;
    BOOLEAN removed;
    LONG unit;              /* the unit's number */
    PDEVICE_OBJECT lower;   /* the device below ours in the unit's stack */
    UNICODE_STRING link;    /* the unit's interface */
    HANDLE disconnectEvent; /* NULL when the unit has none */
} DeviceState;

/* One lock for the three queues. Unit requests wait in `g_waiting` until the simulator asks for
   the next one, then in `g_passed` until it answers; the simulator's own requests wait in
   `g_askers` while no unit request is there. Each queued request stays cancellable. */
static KSPIN_LOCK g_lock;
static LIST_ENTRY g_waiting;
static LIST_ENTRY g_passed;
static LIST_ENTRY g_askers;
static ULONG64 g_nextId = 1;
static PDEVICE_OBJECT g_relay;

#define REQUEST_ID(irp) ((irp)->Tail.Overlay.DriverContext[0])
#define REQUEST_DEVICE(irp) ((irp)->Tail.Overlay.DriverContext[1])

static NTSTATUS Complete(PIRP irp, NTSTATUS status, ULONG_PTR information) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

static VOID NTAPI CancelQueued(PDEVICE_OBJECT device, PIRP irp) {
    KIRQL irql;
    (void)device;
    IoReleaseCancelSpinLock(irp->CancelIrql);
    KeAcquireSpinLock(&g_lock, &irql);
    RemoveEntryList(&irp->Tail.Overlay.ListEntry);
    KeReleaseSpinLock(&g_lock, irql);
    Complete(irp, STATUS_CANCELLED, 0);
}

/* Under the lock: queues a cancellable request. FALSE when it was cancelled before it could be
   queued; the caller then completes it. */
static BOOLEAN Park(LIST_ENTRY* queue, PIRP irp) {
    IoSetCancelRoutine(irp, CancelQueued);
    if (irp->Cancel && IoSetCancelRoutine(irp, NULL) != NULL) {
        return FALSE;
    }
    /* When the cancel routine already runs, it waits for the lock and removes the entry. */
    InsertTailList(queue, &irp->Tail.Overlay.ListEntry);
    return TRUE;
}

/* Under the lock: takes the first request of `queue` that matches and is not being cancelled
   (`device` NULL matches any device, `id` 0 any id). */
static PIRP Take(LIST_ENTRY* queue, PDEVICE_OBJECT device, ULONG64 id) {
    PLIST_ENTRY entry;
    for (entry = queue->Flink; entry != queue; entry = entry->Flink) {
        PIRP irp = CONTAINING_RECORD(entry, IRP, Tail.Overlay.ListEntry);
        if ((device && REQUEST_DEVICE(irp) != device) ||
            (id && (ULONG64)(ULONG_PTR)REQUEST_ID(irp) != id)) {
            continue;
        }
        if (IoSetCancelRoutine(irp, NULL) == NULL) {
            continue; /* its cancel routine runs and removes it */
        }
        RemoveEntryList(entry);
        return irp;
    }
    return NULL;
}

/* Fills the simulator's request `asker` with the unit request `irp`. */
static ULONG_PTR Describe(PIRP asker, PIRP irp) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    DeviceState* state = ((PDEVICE_OBJECT)REQUEST_DEVICE(irp))->DeviceExtension;
    UnitRelayRequest* request = asker->AssociatedIrp.SystemBuffer;
    ULONG inSize = stack->Parameters.DeviceIoControl.InputBufferLength;
    RtlZeroMemory(request, sizeof *request);
    request->id = (ULONG64)(ULONG_PTR)REQUEST_ID(irp);
    request->unit = state->unit;
    request->code = stack->Parameters.DeviceIoControl.IoControlCode;
    request->inSize = inSize;
    request->outSize = stack->Parameters.DeviceIoControl.OutputBufferLength;
    if (inSize) {
        RtlCopyMemory(request->input, irp->AssociatedIrp.SystemBuffer, inSize);
    }
    return sizeof *request;
}

/* Hands `irp` of a unit to the simulator, now if it waits for one, else when it next asks. */
static NTSTATUS PassOn(PDEVICE_OBJECT device, PIRP irp) {
    KIRQL irql;
    PIRP asker;
    ULONG_PTR size = 0;
    BOOLEAN queued;
    REQUEST_DEVICE(irp) = device;
    IoMarkIrpPending(irp);
    KeAcquireSpinLock(&g_lock, &irql);
    REQUEST_ID(irp) = (PVOID)(ULONG_PTR)g_nextId++;
    asker = Take(&g_askers, NULL, 0);
    if (asker) {
        size = Describe(asker, irp);
    }
    queued = Park(asker ? &g_passed : &g_waiting, irp);
    KeReleaseSpinLock(&g_lock, irql);
    if (asker) {
        Complete(asker, STATUS_SUCCESS, size);
    }
    if (!queued) {
        Complete(irp, STATUS_CANCELLED, 0);
    }
    return STATUS_PENDING;
}

/* The simulator asks for the next unit request. */
static NTSTATUS NextRequest(PIRP asker) {
    KIRQL irql;
    PIRP irp;
    ULONG_PTR size = 0;
    BOOLEAN queued = TRUE;
    IoMarkIrpPending(asker);
    KeAcquireSpinLock(&g_lock, &irql);
    irp = Take(&g_waiting, NULL, 0);
    if (irp) {
        size = Describe(asker, irp);
        queued = Park(&g_passed, irp);
        KeReleaseSpinLock(&g_lock, irql);
        if (!queued) {
            /* Cancelled meanwhile: the simulator gets an empty answer and asks again. */
            Complete(irp, STATUS_CANCELLED, 0);
            size = 0;
        }
        Complete(asker, STATUS_SUCCESS, size);
        return STATUS_PENDING;
    }
    queued = Park(&g_askers, asker);
    KeReleaseSpinLock(&g_lock, irql);
    if (!queued) {
        Complete(asker, STATUS_CANCELLED, 0);
    }
    return STATUS_PENDING;
}

/* The simulator answers a unit request. */
static NTSTATUS Answer(PIRP irp, ULONG inSize) {
    const UnitRelayAnswer* answer = irp->AssociatedIrp.SystemBuffer;
    KIRQL irql;
    PIRP request;
    if (inSize < sizeof *answer) {
        return Complete(irp, STATUS_INVALID_PARAMETER, 0);
    }
    KeAcquireSpinLock(&g_lock, &irql);
    request = Take(&g_passed, NULL, answer->id);
    KeReleaseSpinLock(&g_lock, irql);
    if (!request) {
        return Complete(irp, STATUS_NOT_FOUND, 0);
    }
    if (!answer->ok) {
        Complete(request, STATUS_UNSUCCESSFUL, 0);
    } else {
        PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(request);
        ULONG size = answer->size;
        ULONG capacity = stack->Parameters.DeviceIoControl.OutputBufferLength;
        if (size > capacity || size > UNIT_RELAY_MAX_DATA) {
            Complete(request, STATUS_BUFFER_TOO_SMALL, 0);
        } else {
            if (size) {
                RtlCopyMemory(request->AssociatedIrp.SystemBuffer, answer->output, size);
            }
            Complete(request, STATUS_SUCCESS, size);
        }
    }
    return Complete(irp, STATUS_SUCCESS, 0);
}

/* Fails every request of `device` (NULL: of every unit) the simulator holds or has not taken. */
static void FailRequests(LIST_ENTRY* queue, PDEVICE_OBJECT device, NTSTATUS status) {
    for (;;) {
        KIRQL irql;
        PIRP irp;
        KeAcquireSpinLock(&g_lock, &irql);
        irp = Take(queue, device, 0);
        KeReleaseSpinLock(&g_lock, irql);
        if (!irp) {
            return;
        }
        Complete(irp, status, 0);
    }
}

static NTSTATUS NTAPI DispatchControl(PDEVICE_OBJECT device, PIRP irp) {
    DeviceState* state = device->DeviceExtension;
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
    ULONG inSize = stack->Parameters.DeviceIoControl.InputBufferLength;
    ULONG outSize = stack->Parameters.DeviceIoControl.OutputBufferLength;
    if (state->isRelay) {
        if (code == IOCTL_RELAY_NEXT && outSize >= sizeof(UnitRelayRequest)) {
            return NextRequest(irp);
        }
        if (code == IOCTL_RELAY_ANSWER) {
            return Answer(irp, inSize);
        }
        return Complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
    }
    if (state->removed) {
        return Complete(irp, STATUS_DELETE_PENDING, 0);
    }
    /* Only buffered codes carry their data in the one system buffer that is relayed. */
    if ((code & 3) != METHOD_BUFFERED || inSize > UNIT_RELAY_MAX_DATA) {
        return Complete(irp, STATUS_INVALID_PARAMETER, 0);
    }
    return PassOn(device, irp);
}

static NTSTATUS NTAPI DispatchOpenClose(PDEVICE_OBJECT device, PIRP irp) {
    DeviceState* state = device->DeviceExtension;
    if (state->isRelay && IoGetCurrentIrpStackLocation(irp)->MajorFunction == IRP_MJ_CLEANUP) {
        /* The simulator went: nobody answers what it had taken. */
        FailRequests(&g_passed, NULL, STATUS_UNSUCCESSFUL);
    }
    return Complete(irp, STATUS_SUCCESS, 0);
}

/* Reads the unit's number and event name from the name the simulator gave the device. */
static void ReadUnitName(PDEVICE_OBJECT pdo, DeviceState* state) {
    WCHAR name[UNIT_RELAY_NAME_MAX + 1];
    WCHAR path[UNIT_RELAY_NAME_MAX + 32] = L"\\BaseNamedObjects\\";
    ULONG needed = 0;
    ULONG i = 0;
    ULONG end;
    UNICODE_STRING eventName;
    OBJECT_ATTRIBUTES attributes;
    RtlZeroMemory(name, sizeof name);
    state->unit = -1;
    if (!NT_SUCCESS(IoGetDeviceProperty(pdo, DevicePropertyFriendlyName,
                                        UNIT_RELAY_NAME_MAX * sizeof(WCHAR), name, &needed))) {
        return;
    }
    if (name[0] >= L'0' && name[0] <= L'9') {
        state->unit = 0;
        for (; name[i] >= L'0' && name[i] <= L'9'; ++i) {
            state->unit = state->unit * 10 + (name[i] - L'0');
        }
    }
    if (name[i] != L' ' || name[i + 1] == 0) {
        return;
    }
    end = 18; /* the length of the \BaseNamedObjects\ prefix */
    for (++i; name[i] && end < UNIT_RELAY_NAME_MAX + 31; ++i) {
        path[end++] = name[i];
    }
    path[end] = 0;
    RtlInitUnicodeString(&eventName, path);
    InitializeObjectAttributes(&attributes, &eventName, OBJ_KERNEL_HANDLE | OBJ_OPENIF, NULL, NULL);
    if (!NT_SUCCESS(ZwCreateEvent(&state->disconnectEvent, EVENT_ALL_ACCESS, &attributes,
                                  NotificationEvent, FALSE))) {
        state->disconnectEvent = NULL;
    }
}

static NTSTATUS NTAPI AddDevice(PDRIVER_OBJECT driver, PDEVICE_OBJECT pdo) {
    PDEVICE_OBJECT device;
    DeviceState* state;
    NTSTATUS status = IoCreateDevice(driver, sizeof(DeviceState), NULL, FILE_DEVICE_UNKNOWN,
                                     FILE_DEVICE_SECURE_OPEN, FALSE, &device);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    state = device->DeviceExtension;
    RtlZeroMemory(state, sizeof *state);
    status = IoRegisterDeviceInterface(pdo, &UNIT_INTERFACE_CLASS, NULL, &state->link);
    if (!NT_SUCCESS(status)) {
        IoDeleteDevice(device);
        return status;
    }
    ReadUnitName(pdo, state);
    state->lower = IoAttachDeviceToDeviceStack(device, pdo);
    device->Flags |= DO_BUFFERED_IO;
    device->Flags &= ~DO_DEVICE_INITIALIZING;
    return STATUS_SUCCESS;
}

static NTSTATUS NTAPI DispatchPnp(PDEVICE_OBJECT device, PIRP irp) {
    DeviceState* state = device->DeviceExtension;
    UCHAR minor = IoGetCurrentIrpStackLocation(irp)->MinorFunction;
    NTSTATUS status;
    if (state->isRelay) {
        return Complete(irp, STATUS_NOT_SUPPORTED, 0);
    }
    if (minor == IRP_MN_START_DEVICE) {
        IoSetDeviceInterfaceState(&state->link, TRUE);
    } else if (minor == IRP_MN_REMOVE_DEVICE) {
        state->removed = TRUE;
        IoSetDeviceInterfaceState(&state->link, FALSE);
        FailRequests(&g_waiting, device, STATUS_DEVICE_NOT_CONNECTED);
        FailRequests(&g_passed, device, STATUS_DEVICE_NOT_CONNECTED);
        if (state->disconnectEvent) {
            ZwSetEvent(state->disconnectEvent, NULL);
            ZwClose(state->disconnectEvent);
            state->disconnectEvent = NULL;
        }
    }
    irp->IoStatus.Status = STATUS_SUCCESS;
    IoSkipCurrentIrpStackLocation(irp);
    status = state->lower ? IoCallDriver(state->lower, irp) : Complete(irp, STATUS_SUCCESS, 0);
    if (minor == IRP_MN_REMOVE_DEVICE) {
        if (state->lower) {
            IoDetachDevice(state->lower);
        }
        RtlFreeUnicodeString(&state->link);
        IoDeleteDevice(device);
    }
    return status;
}

static VOID NTAPI Unload(PDRIVER_OBJECT driver) {
    UNICODE_STRING link;
    (void)driver;
    RtlInitUnicodeString(&link, UNIT_RELAY_KERNEL_LINK);
    IoDeleteSymbolicLink(&link);
    if (g_relay) {
        IoDeleteDevice(g_relay);
        g_relay = NULL;
    }
}

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath) {
    UNICODE_STRING name;
    UNICODE_STRING link;
    NTSTATUS status;
    DeviceState* state;
    (void)registryPath;
    KeInitializeSpinLock(&g_lock);
    InitializeListHead(&g_waiting);
    InitializeListHead(&g_passed);
    InitializeListHead(&g_askers);

    driver->MajorFunction[IRP_MJ_CREATE] = DispatchOpenClose;
    driver->MajorFunction[IRP_MJ_CLEANUP] = DispatchOpenClose;
    driver->MajorFunction[IRP_MJ_CLOSE] = DispatchOpenClose;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchControl;
    driver->MajorFunction[IRP_MJ_PNP] = DispatchPnp;
    driver->DriverExtension->AddDevice = AddDevice;
    driver->DriverUnload = Unload;

    RtlInitUnicodeString(&name, UNIT_RELAY_KERNEL_NAME);
    status =
        IoCreateDevice(driver, sizeof(DeviceState), &name, FILE_DEVICE_UNKNOWN, 0, FALSE, &g_relay);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    state = g_relay->DeviceExtension;
    RtlZeroMemory(state, sizeof *state);
    state->isRelay = TRUE;
    g_relay->Flags |= DO_BUFFERED_IO;
    RtlInitUnicodeString(&link, UNIT_RELAY_KERNEL_LINK);
    status = IoCreateSymbolicLink(&link, &name);
    if (!NT_SUCCESS(status)) {
        IoDeleteDevice(g_relay);
        g_relay = NULL;
        return status;
    }
    g_relay->Flags &= ~DO_DEVICE_INITIALIZING;
    return STATUS_SUCCESS;
}
