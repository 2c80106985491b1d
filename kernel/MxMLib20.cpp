#include "kernel/MxMLib20.h"

namespace vo {

namespace {

std::atomic<TMxMessagePool*> GlobalPool{nullptr};
std::atomic<TMxMessageDispatcher*> GlobalDispatcher{nullptr};
std::mutex CreateLock;

// Depth of message deliveries running on this thread (log-on and log-off are
// refused inside them: the node table is held while a message is delivered).
thread_local int DeliveryDepth = 0;

void CheckNotDelivering(const char* Operation) {
    if (DeliveryDepth > 0)
        throw Exception(std::string("MessageDispatcher: ") + Operation + " inside a message handler");
}

} // namespace

// ---------------------------------------------------------------- message

TMxMessage* TMxMessage::Create() {
    TMxMessagePool* pool = MxMessagePool();
    if (!pool) throw Exception("TMxMessage.Create: message pool not created");
    return pool->GetMessage();
}

void TMxMessage::Free(TMxMessage* Msg) {
    if (!Msg) return;
    TMxMessagePool* pool = MxMessagePool();
    if (!pool) throw Exception("TMxMessage.Free: message pool not created");
    pool->PutMessage(Msg);
}

void TMxMessage::SetReceiver(std::uint16_t Ident, std::uint8_t Domain, std::uint8_t AInfo) {
    Receiver.Ident = Ident;
    Receiver.Domain = Domain;
    Info = AInfo;
}

void TMxMessage::SetReceiverFromSender(const TMxMessage& Msg) {
    Receiver = Msg.Sender;
    Info = Msg.Info;
}

void TMxMessage::Clear() {
    std::lock_guard l(ProtectStruct);
    FBuffer.Clear();
}

void TMxMessage::AddByte(std::uint8_t B) {
    std::lock_guard l(ProtectStruct);
    FBuffer.AddByte(B);
}

void TMxMessage::AddText(const MyAnsiString& Value) {
    std::lock_guard l(ProtectStruct);
    FBuffer.AddData(Value.data(), Value.size());
}

int TMxMessage::GetSize() const {
    std::lock_guard l(ProtectStruct);
    return FBuffer.GetSize();
}

MyAnsiString TMxMessage::GetText() const {
    std::lock_guard l(ProtectStruct);
    return FBuffer.GetText();
}

void TMxMessage::SetText(const MyAnsiString& Value) {
    std::lock_guard l(ProtectStruct);
    FBuffer.Clear();
    FBuffer.AddData(Value.data(), Value.size());
}

// ---------------------------------------------------------------- pool

TMxMessagePool::~TMxMessagePool() = default;

TMxMessage* TMxMessagePool::GetMessage() {
    std::lock_guard l(ProtectStruct);
    if (TMxMessage* m = FreeMessages) {
        FreeMessages = m->Next;
        m->Next = nullptr;
        m->FLink.store(TMxMessage::lkNone, std::memory_order_relaxed);
        --FCountFreeMessages;
        return m;
    }
    FAllMessages.push_back(std::unique_ptr<TMxMessage>(new TMxMessage));
    ++FCountTotalMessages;
    return FAllMessages.back().get();
}

void TMxMessagePool::PutMessage(TMxMessage*& Msg) {
    if (!Msg) return;
    switch (Msg->FLink.load(std::memory_order_relaxed)) {
    case TMxMessage::lkQueued: throw Exception("TMxMessagePool.PutMessage: Message is in use");
    case TMxMessage::lkFree: throw Exception("TMxMessagePool.PutMessage: Message is already free");
    case TMxMessage::lkNone: break;
    }
    if (Msg->Next) throw Exception("TMxMessagePool.PutMessage: Message is in use");
    Msg->Clear();
    {
        std::lock_guard l(ProtectStruct);
        // Checked again under the lock: two threads freeing the same message.
        if (Msg->FLink.load(std::memory_order_relaxed) == TMxMessage::lkFree)
            throw Exception("TMxMessagePool.PutMessage: Message is already free");
        Msg->FLink.store(TMxMessage::lkFree, std::memory_order_relaxed);
        Msg->Next = FreeMessages;
        FreeMessages = Msg;
        ++FCountFreeMessages;
    }
    Msg = nullptr;
}

int TMxMessagePool::CountTotalMessages() const {
    std::lock_guard l(ProtectStruct);
    return FCountTotalMessages;
}

int TMxMessagePool::CountFreeMessages() const {
    std::lock_guard l(ProtectStruct);
    return FCountFreeMessages;
}

// ---------------------------------------------------------------- node

TMxMessageNode::~TMxMessageNode() {
    if (FDispatcher) {
        try {
            FDispatcher->LogOffNode(*this);
        } catch (...) {
            // The node is going away either way.
        }
    }
}

void TMxMessageNode::LogOn(TMxMessageDispatcher& ADispatcher, std::uint8_t Domain) {
    if (FDispatcher) throw Exception(std::string(ClassName()) + ".LogOn: node is already logged on");
    ADispatcher.LogOnNode(*this, Domain);
}

void TMxMessageNode::LogOnAt(TMxMessageDispatcher& ADispatcher, std::uint16_t Ident) {
    if (FDispatcher) throw Exception(std::string(ClassName()) + ".LogOn: node is already logged on");
    ADispatcher.LogOnNodeAt(*this, Ident);
}

void TMxMessageNode::LogOff() {
    if (!FDispatcher) throw Exception(std::string(ClassName()) + ".LogOff: node is not logged on");
    FDispatcher->LogOffNode(*this);
}

void TMxMessageNode::SendMessage(TMxMessage* Msg) {
    if (!Msg) throw Exception(std::string(ClassName()) + ".SendMessage: no message");
    TMxMessageDispatcher* d = FDispatcher;
    if (!d) throw Exception(std::string(ClassName()) + ".SendMessage: node is not logged on");
    if (FDomain == 0) Msg->Sender.Ident = FIdent;
    Msg->Sender.Domain = FDomain;
    d->SendMessage(Msg);
}

void TMxMessageNode::MessageEvent(TMxMessage* Msg) {
    Msg->Receiver.Domain = 0;
    if (!FOnMsgEvent) throw Exception("TMxMessageNode: OnMsgEvent not assigned");
    FOnMsgEvent(Msg);
}

// ---------------------------------------------------------------- dispatcher

void TMxMessageDispatcher::LogOnNode(TMxMessageNode& Node, std::uint8_t Domain) {
    CheckNotDelivering("node log on");
    std::unique_lock l(ProtectNodeList);
    if (Node.FDispatcher) throw Exception(std::string(Node.ClassName()) + ".LogOn: node is already logged on");
    if (Domain != 0) {
        if (DomainTable[Domain]) throw Exception("RegisterDomain: domain ID conflict");
        DomainTable[Domain] = &Node;
        Node.FIdent = 0;
        Node.FDomain = Domain;
    } else {
        std::size_t slot = NodeList.size();
        if (static_cast<std::size_t>(FNodeCount) < NodeList.size()) {
            for (std::size_t i = 0; i < NodeList.size(); ++i)
                if (!NodeList[i]) {
                    slot = i;
                    break;
                }
        }
        if (slot == NodeList.size()) {
            if (NodeList.size() >= MaxNodes) throw Exception("MessageDispatcher: no free node ident");
            NodeList.push_back(nullptr);
        }
        NodeList[slot] = &Node;
        ++FNodeCount;
        Node.FIdent = static_cast<std::uint16_t>(slot);
        Node.FDomain = 0;
    }
    Node.FDispatcher = this;
}

void TMxMessageDispatcher::LogOnNodeAt(TMxMessageNode& Node, std::uint16_t Ident) {
    CheckNotDelivering("node log on");
    std::unique_lock l(ProtectNodeList);
    if (Node.FDispatcher) throw Exception(std::string(Node.ClassName()) + ".LogOn: node is already logged on");
    if (Ident >= NodeList.size()) NodeList.resize(std::size_t(Ident) + 1, nullptr);
    if (NodeList[Ident])
        throw Exception("MessageDispatcher: node ident " + std::to_string(Ident) + " is taken");
    NodeList[Ident] = &Node;
    ++FNodeCount;
    Node.FIdent = Ident;
    Node.FDomain = 0;
    Node.FDispatcher = this;
}

void TMxMessageDispatcher::LogOffNode(TMxMessageNode& Node) {
    CheckNotDelivering("node log off");
    std::unique_lock l(ProtectNodeList);
    if (Node.FDomain != 0) {
        if (DomainTable[Node.FDomain] != &Node) throw Exception("UnregisterDomain: domain not registered");
        DomainTable[Node.FDomain] = nullptr;
        Node.FDomain = 0;
    } else {
        if (Node.FIdent >= NodeList.size() || NodeList[Node.FIdent] != &Node)
            throw Exception("MessageDispatcher: node log off failed");
        NodeList[Node.FIdent] = nullptr;
        Node.FIdent = 0;
        --FNodeCount;
    }
    Node.FDispatcher = nullptr;
}

void TMxMessageDispatcher::SendMessage(TMxMessage* Msg) {
    if (!Msg) throw Exception("MessageDispatcher: no message");
    std::shared_lock l(ProtectNodeList);
    TMxMessageNode* node = nullptr;
    if (Msg->Receiver.Domain != 0) {
        node = DomainTable[Msg->Receiver.Domain];
        if (!node) {
            l.unlock();
            TMxMessage::Free(Msg);
            throw Exception("Message receiver domain doesn't exist");
        }
    } else {
        if (Msg->Receiver.Ident < NodeList.size()) node = NodeList[Msg->Receiver.Ident];
        if (!node) {
            l.unlock();
            TMxMessage::Free(Msg);
            throw Exception("Message receiver node doesn't exist");
        }
    }
    // The table stays locked (shared) during delivery, so the node cannot be
    // logged off or freed meanwhile.
    ++DeliveryDepth;
    try {
        node->MessageEvent(Msg);
    } catch (...) {
        --DeliveryDepth;
        l.unlock();
        // Not taken by the receiver: back to the pool, unless it is linked
        // somewhere (then it was never ours to give back).
        if (Msg->FLink.load(std::memory_order_relaxed) == TMxMessage::lkNone && !Msg->Next) TMxMessage::Free(Msg);
        throw;
    }
    --DeliveryDepth;
}

int TMxMessageDispatcher::NodeCount() const {
    std::shared_lock l(ProtectNodeList);
    return FNodeCount;
}

// ---------------------------------------------------------------- program-wide

TMxMessagePool* MxMessagePool() { return GlobalPool.load(std::memory_order_acquire); }
TMxMessageDispatcher* MxMessageDispatcher() { return GlobalDispatcher.load(std::memory_order_acquire); }

void MxCreateMessagePool() {
    std::lock_guard l(CreateLock);
    if (GlobalPool.load()) throw Exception("MxCreateMessagePool: pool already exists");
    // Program-wide: lives until the process ends.
    GlobalPool.store(new TMxMessagePool, std::memory_order_release);
}

void MxCreateMessageDispatcher() {
    std::lock_guard l(CreateLock);
    if (GlobalDispatcher.load()) throw Exception("MxCreateMessageDispatcher: dispatcher already exists");
    GlobalDispatcher.store(new TMxMessageDispatcher, std::memory_order_release);
}

void MxEnsureMessaging() {
    static std::mutex m;
    std::lock_guard l(m);
    if (!BufferSegmentPool()) MxCreateBufferSegmentPool();
    if (!MxMessagePool()) MxCreateMessagePool();
    if (!MxMessageDispatcher()) MxCreateMessageDispatcher();
}

// ---------------------------------------------------------------- queue

TMxQueue::~TMxQueue() {
    // Off the dispatcher first: no message can arrive any more.
    FMessageNode.reset();
    TMxMessage* rest = nullptr;
    {
        std::lock_guard l(ProtectStruct);
        rest = Head;
        Head = Tail = nullptr;
        FMessageCount = 0;
        while (FWaitingTasks) ResumeTask(*FWaitingTasks, eiReset);
    }
    while (rest) {
        TMxMessage* m = rest;
        rest = m->Next;
        m->Next = nullptr;
        m->FLink.store(TMxMessage::lkNone, std::memory_order_relaxed);
        TMxMessage::Free(m);
    }
}

void TMxQueue::LogOn(std::uint8_t Domain) {
    TMxMessageDispatcher* d = MxMessageDispatcher();
    if (!d) throw Exception("TMxQueue.LogOn: message dispatcher not created");
    LogOn(*d, Domain);
}

void TMxQueue::LogOn(TMxMessageDispatcher& ADispatcher, std::uint8_t Domain) {
    if (FMessageNode) throw Exception("TMxQueue.LogOn: Queue is already logged on");
    auto node = std::make_unique<TMxMessageNode>();
    node->SetOnMsgEvent([this](TMxMessage* Msg) { PutMessage(Msg); });
    node->LogOn(ADispatcher, Domain);
    FMessageNode = std::move(node);
}

void TMxQueue::LogOnAt(std::uint16_t Ident) {
    TMxMessageDispatcher* d = MxMessageDispatcher();
    if (!d) throw Exception("TMxQueue.LogOn: message dispatcher not created");
    LogOnAt(*d, Ident);
}

void TMxQueue::LogOnAt(TMxMessageDispatcher& ADispatcher, std::uint16_t Ident) {
    if (FMessageNode) throw Exception("TMxQueue.LogOn: Queue is already logged on");
    auto node = std::make_unique<TMxMessageNode>();
    node->SetOnMsgEvent([this](TMxMessage* Msg) { PutMessage(Msg); });
    node->LogOnAt(ADispatcher, Ident);
    FMessageNode = std::move(node);
}

void TMxQueue::LogOff() {
    if (!FMessageNode) throw Exception("TMxQueue.LogOff: Queue is not logged on");
    FMessageNode.reset();
}

void TMxQueue::SendMessage(TMxMessage* Msg) {
    if (!FMessageNode) throw Exception("TMxQueue.SendMessage: Queue is not logged on");
    FMessageNode->SendMessage(Msg);
}

std::uint16_t TMxQueue::GetQueueIdent() const {
    if (!FMessageNode) throw Exception("TMxQueue.QueueId: Queue is not logged on");
    return FMessageNode->Ident();
}

bool TMxQueue::LoggedOn() const { return FMessageNode != nullptr; }

void TMxQueue::PutMessage(TMxMessage* Msg) {
    if (!Msg) throw Exception("PutMessage Error");
    std::lock_guard l(ProtectStruct);
    if (Msg->Next || Msg->FLink.load(std::memory_order_relaxed) != TMxMessage::lkNone)
        throw Exception("PutMessage Error");
    Msg->FLink.store(TMxMessage::lkQueued, std::memory_order_relaxed);
    if (Tail)
        Tail->Next = Msg;
    else
        Head = Msg;
    Tail = Msg;
    ++FMessageCount;
    if (FWaitingTasks) ResumeTask(*FWaitingTasks, eiSuccess);
}

TMxMessage* TMxQueue::GetMessage() {
    std::lock_guard l(ProtectStruct);
    TMxMessage* m = Head;
    if (!m) return nullptr;
    Head = m->Next;
    if (!Head) Tail = nullptr;
    m->Next = nullptr;
    m->FLink.store(TMxMessage::lkNone, std::memory_order_relaxed);
    --FMessageCount;
    return m;
}

int TMxQueue::MessageCount() const {
    std::lock_guard l(ProtectStruct);
    return FMessageCount;
}

void TMxQueue::TaskWaitFor(TMxTask& Task, std::int64_t Timeout) {
    std::lock_guard l(ProtectStruct);
    if (Head)
        SetTaskInfo(Task, eiSuccess);
    else if (Timeout == MxNoWait)
        SetTaskInfo(Task, eiUnavailable);
    else
        SuspendTask(Task, Timeout);
}

} // namespace vo
