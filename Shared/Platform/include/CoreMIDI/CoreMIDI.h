// Core MIDI stand-in: the calls, records and status codes the system uses,
// with the macOS names, argument order and values. Endpoints come from the
// MIDI providers behind it (virtual endpoints now, JACK MIDI later).
//
// Thread contract: clients, ports, connections and properties are managed
// on the main thread; MIDISend may be called from any one thread at a time
// and is real-time safe; read procedures run on the stand-in's own MIDI
// receive thread, in the order the packets were delivered.
#pragma once

#include <CoreFoundation/CoreFoundation.h>
#include <MacTypes.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef UInt32 MIDIObjectRef;
typedef MIDIObjectRef MIDIClientRef;
typedef MIDIObjectRef MIDIPortRef;
typedef MIDIObjectRef MIDIEndpointRef;
typedef UInt64 MIDITimeStamp; // host time (mach_absolute_time: nanoseconds here)
typedef UInt8 Byte;

enum {
    kMIDIInvalidClient = -10830,
    kMIDIInvalidPort = -10831,
    kMIDIWrongEndpointType = -10832,
    kMIDINoConnection = -10833,
    kMIDIUnknownEndpoint = -10834,
    kMIDIUnknownProperty = -10835,
    kMIDIWrongPropertyType = -10836,
    kMIDIMessageSendErr = -10838,
    kMIDIServerStartErr = -10839,
    kMIDIObjectNotFound = -10842
};

// Packets are packed on 4-byte boundaries, as on macOS: data follows the
// length directly, and a packet may hold more than 256 bytes when it was
// built in a larger buffer.
#pragma pack(push, 4)
typedef struct MIDIPacket {
    MIDITimeStamp timeStamp;
    UInt16 length;
    Byte data[256];
} MIDIPacket;

typedef struct MIDIPacketList {
    UInt32 numPackets;
    MIDIPacket packet[1];
} MIDIPacketList;
#pragma pack(pop)

// The packet after pkt: directly after its data on x86_64, at the next
// multiple of 4 bytes on ARM. Packets on x86_64 may start at any address, so
// the length is read bytewise. Any thread, real-time safe.
static inline MIDIPacket* MIDIPacketNext(const MIDIPacket* pkt)
{
    const Byte* bytes = (const Byte*)pkt;
    UInt16 length;
    __builtin_memcpy(&length, bytes + sizeof(MIDITimeStamp), sizeof length);
    uintptr_t next = (uintptr_t)(bytes + sizeof(MIDITimeStamp) + sizeof(UInt16) + length);
#if defined(__arm__) || defined(__aarch64__)
    next = (next + 3) & ~(uintptr_t)3;
#endif
    return (MIDIPacket*)next;
}

typedef struct MIDINotification {
    SInt32 messageID;
    UInt32 messageSize;
} MIDINotification;

typedef void (*MIDINotifyProc)(const MIDINotification* message, void* refCon);
// Called on the MIDI receive thread with each packet list a connected
// source delivers; srcConnRefCon is the value given to MIDIPortConnectSource.
typedef void (*MIDIReadProc)(const MIDIPacketList* pktlist, void* readProcRefCon, void* srcConnRefCon);

// Endpoint name properties (CFString values).
extern const CFStringRef kMIDIPropertyName;
extern const CFStringRef kMIDIPropertyDisplayName;

// Main thread only.
OSStatus MIDIClientCreate(CFStringRef name, MIDINotifyProc notifyProc, void* notifyRefCon, MIDIClientRef* outClient);
// Main thread only; disposes the client's ports too.
OSStatus MIDIClientDispose(MIDIClientRef client);

// Main thread only: sources and destinations in system order.
ItemCount MIDIGetNumberOfSources(void);
MIDIEndpointRef MIDIGetSource(ItemCount sourceIndex0);
ItemCount MIDIGetNumberOfDestinations(void);
MIDIEndpointRef MIDIGetDestination(ItemCount destIndex0);

// Main thread only: a +1 string in *str, or an error and *str untouched.
OSStatus MIDIObjectGetStringProperty(MIDIObjectRef obj, CFStringRef propertyID, CFStringRef* str);

// Main thread only.
OSStatus MIDIInputPortCreate(MIDIClientRef client, CFStringRef portName, MIDIReadProc readProc, void* refCon,
                             MIDIPortRef* outPort);
OSStatus MIDIOutputPortCreate(MIDIClientRef client, CFStringRef portName, MIDIPortRef* outPort);
// Main thread only. Once disconnect or dispose returns, the port's read
// procedure is not called again for that source.
OSStatus MIDIPortConnectSource(MIDIPortRef port, MIDIEndpointRef source, void* connRefCon);
OSStatus MIDIPortDisconnectSource(MIDIPortRef port, MIDIEndpointRef source);
OSStatus MIDIPortDispose(MIDIPortRef port);

// One thread at a time, real-time safe: hands the packets to the
// destination's provider.
OSStatus MIDISend(MIDIPortRef port, MIDIEndpointRef dest, const MIDIPacketList* pktlist);

#ifdef __cplusplus
}
#endif
