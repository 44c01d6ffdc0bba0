/*
 * Kernel driver of the sample product. One image serves every driver name of
 * the product (vxmon.sys, vxfsd.sys, ... are copies of it): the driver takes
 * its identity from the service it was started as.
 *
 * - DriverEntry creates the control device \Device\<service name>, where the
 *   service name is the last element of the registry path it is given. Started
 *   under a temporary service, the same image therefore creates that
 *   temporary service's device.
 * - IRP_MJ_CREATE, IRP_MJ_CLEANUP and IRP_MJ_CLOSE succeed, so the device can
 *   be opened through \\.\GLOBALROOT\Device\<service name>.
 * - IRP_MJ_DEVICE_CONTROL accepts the hand-over commit request (device type
 *   0x89AA, function 0x802, METHOD_NEITHER, FILE_ANY_ACCESS, no buffers) and
 *   records it as the REG_DWORD value "CommitReceived" = 1 under the
 *   driver's service key; every other control code is refused.
 * - DriverEntry records the build it was made from as the REG_DWORD value
 *   "LoadedGeneration" under the driver's service key, so a test can tell
 *   which image a service runs.
 * - DriverUnload deletes the device, so the service can be stopped.
 *
 * SAMPLE_DRIVER_GENERATION (default 1) tells the builds apart: the newer one
 * (2) also carries more data, so its image differs in size and checksum.
 */

#include <ddk/wdm.h>

#define SAMPLE_DEVICE_TYPE 0x89AA
#define SAMPLE_COMMIT_REQUEST CTL_CODE(SAMPLE_DEVICE_TYPE, 0x802, METHOD_NEITHER, FILE_ANY_ACCESS)

#define SAMPLE_POOL_TAG 0x6C707853 /* 'Sxpl' */

#ifndef SAMPLE_DRIVER_GENERATION
#define SAMPLE_DRIVER_GENERATION 1
#endif

#if SAMPLE_DRIVER_GENERATION > 1
/* Data only the newer build has: its image is larger by this much. */
__attribute__((used)) static const unsigned char g_newerData[8192] = {SAMPLE_DRIVER_GENERATION};
#endif

/* Both strings are NUL-terminated copies owned by the driver: the registry
 * path given to DriverEntry is valid only during that call. */
static WCHAR *g_serviceKey;
static WCHAR *g_deviceName;

static const WCHAR kDevicePrefix[] = L"\\Device\\";

static SIZE_T WideLength(const WCHAR *text, SIZE_T limit)
{
    SIZE_T n = 0;
    while (n < limit && text[n] != L'\0')
        ++n;
    return n;
}

static void CopyWide(WCHAR *to, const WCHAR *from, SIZE_T count)
{
    for (SIZE_T i = 0; i < count; ++i)
        to[i] = from[i];
}

static WCHAR *AllocateWide(SIZE_T characters)
{
    return (WCHAR *)ExAllocatePoolWithTag(NonPagedPool, characters * sizeof(WCHAR), SAMPLE_POOL_TAG);
}

static void FreeNames(void)
{
    if (g_serviceKey) {
        ExFreePoolWithTag(g_serviceKey, SAMPLE_POOL_TAG);
        g_serviceKey = NULL;
    }
    if (g_deviceName) {
        ExFreePoolWithTag(g_deviceName, SAMPLE_POOL_TAG);
        g_deviceName = NULL;
    }
}

/* Copies the service key path and builds "\Device\" + its last element. */
static NTSTATUS BuildNames(PCUNICODE_STRING registryPath)
{
    const SIZE_T keyLength = registryPath->Length / sizeof(WCHAR);
    const SIZE_T prefixLength = sizeof(kDevicePrefix) / sizeof(WCHAR) - 1;
    SIZE_T nameStart = 0;
    SIZE_T nameLength;

    for (SIZE_T i = 0; i < keyLength; ++i) {
        if (registryPath->Buffer[i] == L'\\')
            nameStart = i + 1;
    }
    nameLength = keyLength - nameStart;
    if (nameLength == 0)
        return STATUS_INVALID_PARAMETER;

    g_serviceKey = AllocateWide(keyLength + 1);
    g_deviceName = AllocateWide(prefixLength + nameLength + 1);
    if (!g_serviceKey || !g_deviceName) {
        FreeNames();
        return STATUS_INSUFFICIENT_RESOURCES;
    }

    CopyWide(g_serviceKey, registryPath->Buffer, keyLength);
    g_serviceKey[keyLength] = L'\0';
    CopyWide(g_deviceName, kDevicePrefix, prefixLength);
    CopyWide(g_deviceName + prefixLength, registryPath->Buffer + nameStart, nameLength);
    g_deviceName[prefixLength + nameLength] = L'\0';
    return STATUS_SUCCESS;
}

static NTSTATUS CompleteIrp(PIRP irp, NTSTATUS status)
{
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = 0;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

static NTSTATUS RecordCommit(void)
{
    ULONG received = 1;
    return RtlWriteRegistryValue(RTL_REGISTRY_ABSOLUTE, g_serviceKey, L"CommitReceived", REG_DWORD,
                                 &received, sizeof(received));
}

static void RecordGeneration(void)
{
    ULONG generation = SAMPLE_DRIVER_GENERATION;
    RtlWriteRegistryValue(RTL_REGISTRY_ABSOLUTE, g_serviceKey, L"LoadedGeneration", REG_DWORD, &generation,
                          sizeof(generation));
}

static NTSTATUS DispatchOpenClose(PDEVICE_OBJECT device, PIRP irp)
{
    UNREFERENCED_PARAMETER(device);
    return CompleteIrp(irp, STATUS_SUCCESS);
}

static NTSTATUS DispatchDeviceControl(PDEVICE_OBJECT device, PIRP irp)
{
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    NTSTATUS status;

    UNREFERENCED_PARAMETER(device);
    switch (stack->Parameters.DeviceIoControl.IoControlCode) {
    case SAMPLE_COMMIT_REQUEST:
        status = RecordCommit();
        break;
    default:
        status = STATUS_INVALID_DEVICE_REQUEST;
        break;
    }
    return CompleteIrp(irp, status);
}

static void DriverUnload(PDRIVER_OBJECT driver)
{
    while (driver->DeviceObject)
        IoDeleteDevice(driver->DeviceObject);
    FreeNames();
}

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath)
{
    UNICODE_STRING deviceName;
    PDEVICE_OBJECT device = NULL;
    NTSTATUS status;

    status = BuildNames(registryPath);
    if (!NT_SUCCESS(status))
        return status;

    deviceName.Buffer = g_deviceName;
    deviceName.Length = (USHORT)(WideLength(g_deviceName, 0x7FFF) * sizeof(WCHAR));
    deviceName.MaximumLength = (USHORT)(deviceName.Length + sizeof(WCHAR));

    status = IoCreateDevice(driver, 0, &deviceName, FILE_DEVICE_UNKNOWN, FILE_DEVICE_SECURE_OPEN, FALSE,
                            &device);
    if (!NT_SUCCESS(status)) {
        FreeNames();
        return status;
    }

    driver->MajorFunction[IRP_MJ_CREATE] = DispatchOpenClose;
    driver->MajorFunction[IRP_MJ_CLEANUP] = DispatchOpenClose;
    driver->MajorFunction[IRP_MJ_CLOSE] = DispatchOpenClose;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchDeviceControl;
    driver->DriverUnload = DriverUnload;

    device->Flags &= ~DO_DEVICE_INITIALIZING;
    RecordGeneration();
    return STATUS_SUCCESS;
}
