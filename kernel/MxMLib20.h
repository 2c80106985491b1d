#pragma once
// Addressed inter-task messages, their pool, message nodes, the program-wide
// dispatcher and message queues.
//
// Work crosses between tasks and threads as pooled messages with a sender
// address, a receiver address, an 8-bit information code and a byte body. The
// dispatcher delivers a message to the node named by its receiver address;
// the usual node belongs to a queue, a task control that stores the message
// and resumes a task waiting on it.
//
// Ownership of a message: whoever took it from the pool owns it until it is
// handed to a SendMessage or PutMessage; then it belongs to the receiving
// queue until a task takes it with GetMessage; whoever holds it last gives it
// back with TMxMessage::Free. A message that cannot be delivered (no such
// receiver, receiver without handler) goes back to the pool and the sender
// gets the exception.
//
// Locks: the dispatcher's node table (shared while routing, exclusive while
// logging nodes on or off), then a queue, then the scheduler. Nodes must not
// be logged on or off from inside a message handler.
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <vector>

#include "kernel/MxBLib20.h"
#include "kernel/MxTLib20.h"
#include "platform/AnsiString.h"
#include "platform/Exception.h"

namespace vo {

// Domain 0: Ident names a node. Domain 1..255 names a domain node; Ident is
// then free for the domain's owner to use.
struct TMxMsgAddr {
    std::uint16_t Ident = 0;
    std::uint8_t Domain = 0;
    bool operator==(const TMxMsgAddr&) const = default;
};

class TMxMessagePool;

class TMxMessage {
public:
    // A message from the program-wide pool (MxMessagePool()).
    static TMxMessage* Create();
    // Gives a message (nil allowed) back to its pool. Raises
    // "TMxMessagePool.PutMessage: Message is in use" for a message that is
    // linked into a queue and "TMxMessagePool.PutMessage: Message is already
    // free" for one that was given back before.
    static void Free(TMxMessage* Msg);

    TMxMsgAddr Sender;
    TMxMsgAddr Receiver;
    std::uint8_t Info = 0;

    // Sets Receiver and Info.
    void SetReceiver(std::uint16_t Ident, std::uint8_t Domain, std::uint8_t AInfo);
    // Addresses a reply: Receiver := Msg.Sender, Info := Msg.Info.
    void SetReceiverFromSender(const TMxMessage& Msg);

    // Body operations, each under the message's lock.
    void Clear();
    void AddByte(std::uint8_t B);
    void AddText(const MyAnsiString& Value); // appends the bytes of Value
    int GetSize() const;
    MyAnsiString GetText() const;
    void SetText(const MyAnsiString& Value);
    // The body itself, for readers (TMxBufferPointer). Only its holder uses it.
    const TMxBuffer& Buffer() const { return FBuffer; }

    TMxMessage* Next = nullptr; // link in a queue or the pool's free list

private:
    friend class TMxMessagePool;
    friend class TMxQueue;
    friend class TMxMessageDispatcher;
    enum TLink : std::uint8_t { lkNone,
                                lkQueued,
                                lkFree };

    TMxMessage() = default;
    mutable std::mutex ProtectStruct;
    TMxBuffer FBuffer;
    std::atomic<TLink> FLink{lkNone};
};

// Gives a message back to the pool when it goes out of scope.
struct TMxMessageDeleter {
    void operator()(TMxMessage* Msg) const { TMxMessage::Free(Msg); }
};
using TMxMessagePtr = std::unique_ptr<TMxMessage, TMxMessageDeleter>;

class TMxMessagePool {
public:
    TMxMessagePool() = default;
    ~TMxMessagePool();
    TMxMessagePool(const TMxMessagePool&) = delete;
    TMxMessagePool& operator=(const TMxMessagePool&) = delete;

    // A free message (Next cleared; addresses and Info keep old values), or a
    // new one.
    TMxMessage* GetMessage();
    // Clears the body, puts the message on the free list, sets Msg to nil.
    void PutMessage(TMxMessage*& Msg);

    int CountTotalMessages() const;
    int CountFreeMessages() const;

private:
    mutable std::mutex ProtectStruct;
    TMxMessage* FreeMessages = nullptr;
    int FCountTotalMessages = 0;
    int FCountFreeMessages = 0;
    std::vector<std::unique_ptr<TMxMessage>> FAllMessages;
};

class TMxMessageDispatcher;

using TMxMessageEvent = std::function<void(TMxMessage* Msg)>;

class TMxMessageNode {
public:
    TMxMessageNode() = default;
    // Logs off a node that is still logged on.
    virtual ~TMxMessageNode();
    TMxMessageNode(const TMxMessageNode&) = delete;
    TMxMessageNode& operator=(const TMxMessageNode&) = delete;

    // "<class>.LogOn: node is already logged on" when logged on.
    void LogOn(TMxMessageDispatcher& ADispatcher, std::uint8_t Domain);
    // Logs on as the domain-0 node with the given ident (well-known nodes such
    // as the communication server's queues).
    void LogOnAt(TMxMessageDispatcher& ADispatcher, std::uint16_t Ident);
    // "<class>.LogOff: node is not logged on" when not logged on.
    void LogOff();
    // Stamps the sender address (a node of domain 0 its ident, every node its
    // domain) and routes the message. A node that is not logged on raises
    // "<class>.SendMessage: node is not logged on" and the caller keeps the
    // message.
    void SendMessage(TMxMessage* Msg);
    // Delivery: Receiver.Domain := 0, then the handler. Raises
    // "TMxMessageNode: OnMsgEvent not assigned" without a handler.
    virtual void MessageEvent(TMxMessage* Msg);
    virtual const char* ClassName() const { return "TMxMessageNode"; }

    void SetOnMsgEvent(TMxMessageEvent Handler) { FOnMsgEvent = std::move(Handler); }
    std::uint16_t Ident() const { return FIdent; }
    std::uint8_t Domain() const { return FDomain; }
    bool LoggedOn() const { return FDispatcher != nullptr; }
    TMxMessageDispatcher* Dispatcher() const { return FDispatcher; }

private:
    friend class TMxMessageDispatcher;
    std::uint16_t FIdent = 0;
    std::uint8_t FDomain = 0;
    TMxMessageDispatcher* FDispatcher = nullptr;
    TMxMessageEvent FOnMsgEvent;
};

class TMxMessageDispatcher {
public:
    static constexpr std::size_t MaxNodes = 65536; // idents are 16-bit

    TMxMessageDispatcher() = default;
    TMxMessageDispatcher(const TMxMessageDispatcher&) = delete;
    TMxMessageDispatcher& operator=(const TMxMessageDispatcher&) = delete;

    // Domain d != 0: the node becomes the domain's node (ident 0);
    // "RegisterDomain: domain ID conflict" when taken. Domain 0: the node
    // takes the lowest free ident.
    void LogOnNode(TMxMessageNode& Node, std::uint8_t Domain);
    // Domain 0 at a chosen ident; "MessageDispatcher: node ident %d is taken"
    // when another node has it.
    void LogOnNodeAt(TMxMessageNode& Node, std::uint16_t Ident);
    // "UnregisterDomain: domain not registered" / "MessageDispatcher: node log
    // off failed" when the node is not where it claims to be.
    void LogOffNode(TMxMessageNode& Node);
    // Routes by receiver domain, or by ident for domain 0. An unknown receiver
    // gives the message back to the pool and raises "Message receiver domain
    // doesn't exist" or "Message receiver node doesn't exist". Delivery runs
    // in the caller's thread.
    void SendMessage(TMxMessage* Msg);

    int NodeCount() const;

private:
    mutable std::shared_mutex ProtectNodeList; // node list and domain table
    std::vector<TMxMessageNode*> NodeList;
    int FNodeCount = 0;
    std::array<TMxMessageNode*, 256> DomainTable{};
};

// Program-wide pool and dispatcher (nil until created; they live until the
// process ends).
TMxMessagePool* MxMessagePool();
TMxMessageDispatcher* MxMessageDispatcher();
// "MxCreateMessagePool: pool already exists" /
// "MxCreateMessageDispatcher: dispatcher already exists" when called twice.
void MxCreateMessagePool();
void MxCreateMessageDispatcher();
// Creates whatever of the buffer segment pool, message pool and dispatcher
// does not exist yet (tests and tools).
void MxEnsureMessaging();

// A FIFO of messages that tasks wait on.
class TMxQueue : public TMxTaskControl {
public:
    TMxQueue() = default;
    // Logs off, gives queued messages back to the pool and resumes every
    // waiting task with eiReset.
    ~TMxQueue() override;

    // Logs the queue's node on at the program's dispatcher (or ADispatcher)
    // with the domain (0 for an ident node); "TMxQueue.LogOn: Queue is already
    // logged on" when it has a node.
    void LogOn(std::uint8_t Domain);
    void LogOn(TMxMessageDispatcher& ADispatcher, std::uint8_t Domain);
    // Logs on as the domain-0 node with the given ident.
    void LogOnAt(std::uint16_t Ident);
    void LogOnAt(TMxMessageDispatcher& ADispatcher, std::uint16_t Ident);
    // "TMxQueue.LogOff: Queue is not logged on" without a node.
    void LogOff();
    // Sends through the queue's node so that the receiver can answer to this
    // queue; "TMxQueue.SendMessage: Queue is not logged on" without a node
    // (the caller keeps the message).
    void SendMessage(TMxMessage* Msg);
    // The node's ident; "TMxQueue.QueueId: Queue is not logged on".
    std::uint16_t GetQueueIdent() const;
    bool LoggedOn() const;
    TMxMessageNode* MessageNode() const { return FMessageNode.get(); }

    // Appends the message and resumes the first waiting task (one task per
    // message). "PutMessage Error" for a message that is already in a queue
    // or in the pool.
    void PutMessage(TMxMessage* Msg);
    // The first message, or nil when the queue is empty.
    TMxMessage* GetMessage();
    int MessageCount() const;

    // A queued message: eiSuccess; else MxNoWait: eiUnavailable; else the
    // task waits for the next message.
    void TaskWaitFor(TMxTask& Task, std::int64_t Timeout) override;

private:
    TMxMessage* Head = nullptr;
    TMxMessage* Tail = nullptr;
    int FMessageCount = 0;
    std::unique_ptr<TMxMessageNode> FMessageNode;
};

} // namespace vo
