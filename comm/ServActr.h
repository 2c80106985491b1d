#pragma once
// The server actors: tasks of the server's scheduler that execute request
// messages. An actor takes one request message at a time from the server's
// request queue, executes its telegram records one after the other (obtain the
// device, send the frame, wait for the answer, send again, wait longer when
// the drive asks for it) and sends one reply message back to the sender.
//
// Request message: records of
//   command field  pattern id (hexadecimal, 1..255; echoed as an opaque tag)
//   parameter      device handle (hexadecimal)
//   parameters     the frame: byte count, then one parameter per byte
// An empty command field, or pattern id 0, ends the records.
//
// Reply message (to the request's sender, with the request's info code): per
// executed record the pattern id (upper-case hexadecimal), the result byte and,
// for results up to 0x7F and for 0xA4, the drive's answer frame. A record that
// cannot be read (a field that is no hexadecimal number, a missing field, an
// empty frame) ends the reply with the command field "ERROR" and the error
// text as its parameter; the records before it are answered normally and the
// records after it are not executed.
#include "comm/OvraDev.h"
#include "kernel/MsgTools.h"
#include "kernel/MxMLib20.h"
#include "kernel/MxTLib20.h"
#include "platform/Time.h"

#include <atomic>
#include <cstdint>
#include <memory>

namespace vo {

// Result codes of the server actor.
inline constexpr uint8_t OvraResNoDevice = 0xB0; // no open device has the record's handle
inline constexpr uint8_t OvraResNoAnswer = 0xB2; // no answer after the last send
inline constexpr uint8_t OvraResBookkeeping = 0xBF; // a device still held, or none held
inline constexpr uint8_t OvraResWaitLonger = 0x01; // drive status: the drive needs longer
inline constexpr uint8_t OvraResWithData = 0xA4; // drive status that comes with data

// Time constants of a record (tests lower them).
inline TTimeConstant ServerActorAnswerTimeout{"ServerActor.AnswerTimeout", 2000};
// The wait after a "wait longer" answer without its third byte.
inline TTimeConstant ServerActorWaitLongerDefault{"ServerActor.WaitLongerDefault", 25000};
// One unit of the third byte of a "wait longer" answer (a second).
inline TTimeConstant ServerActorWaitLongerUnit{"ServerActor.WaitLongerUnit", 1000};
// Sends of one record.
inline constexpr int32_t ServerActorMaxTries = 3;

// The command field of the reply to a message that cannot be read.
inline constexpr const char* OvraReplyError = "ERROR";

class TServerActor {
public:
    // The step states.
    enum : uint8_t {
        asIdle = 0, // wait for / take a request message
        asReply = 1, // send the reply
        asNextRecord = 2,
        asSend = 3,
        asReceive = 4,
        asRecordDone = 5
    };

    // Creates the reader, the writer and the input queue, and the task
    // "ServerActor.Create" on AScheduler, started.
    TServerActor(TMxQueue& ARequestQueue, TOvraDeviceList& AOvraDeviceList, TMxScheduler& AScheduler);
    // Stops the task, releases a device still held and gives the messages in
    // hand back to the pool.
    ~TServerActor();
    TServerActor(const TServerActor&) = delete;
    TServerActor& operator=(const TServerActor&) = delete;

    // The task's step (one state per step).
    void Execute(TMxTask& Sender);

    // 0xBF when a device is already held; 0xB0 when no open device has the
    // handle; otherwise the device becomes current and the task waits (from
    // its step) for the device's semaphore; 0.
    uint8_t ObtainDevice(int32_t AIndex);
    // Releases the current device's semaphore, if any, and forgets it.
    void ReleaseCurrentDevice();
    // 0xBF without a current device; else routes ServiceId's frames of the
    // device to the input queue; 0.
    uint8_t AssignService(uint8_t ServiceId);
    void ReleaseCurrentService();
    // 0xBF without a current device; else the device's Output result.
    uint8_t SendBufferToCurrentDevice();
    // One frame from the input queue into ReceiveBuffer (empty when none).
    void ReceiveBufferFromInputQueue();
    // Gives every frame left in the input queue back to the pool.
    void DiscardInputQueue();

    uint8_t State() const { return FState.load(); }
    TMxTask& Task() { return *FTask; }
    TMxQueue& InputQueue() { return FInputQueue; }
    // Records finished by this actor so far (any result).
    uint64_t RecordsDone() const { return FRecordsDone.load(); }

private:
    void StepIdle();
    void StepReply();
    void StepNextRecord();
    void StepSend();
    void StepReceive();
    void StepRecordDone();
    void EndWithError(const MyAnsiString& Text);

    std::atomic<uint8_t> FState{asIdle};
    TMxQueue& RequestQueue;
    TOvraDeviceList& OvraDeviceList;
    TMessageReader MessageReader;
    TMessageWriter MessageWriter;
    TMxQueue FInputQueue; // not logged on: the device driver puts into it
    TOvraDevicePtr CurrentDevice;
    int32_t CurrentService = -1; // the assigned command code, -1 when none
    uint8_t Pattern = 0;
    int32_t Device = 0;
    uint8_t Service = 0;
    uint8_t OvraRes = 0;
    MyAnsiString SendBuffer;
    MyAnsiString ReceiveBuffer;
    int32_t NumberOfTries = 0;
    std::atomic<uint64_t> FRecordsDone{0};
    std::unique_ptr<TMxTask> FTask; // last: destroyed first
};

} // namespace vo
