#pragma once
// Composites: values that hold other values, written in the text notation
// between square brackets after a one-letter type (A array, B block,
// D dictionary, P procedure, R record, S stack), and the element source
// through which the reader fills a new composite.
#include <cstdint>
#include <vector>

#include "storagelib/SL20Bas.h"

namespace vo {

// The elements the reader collected between a composite's brackets, in text
// order.
class TSLCompData : public TSLObject {
    VO_REFOBJ_CLASS(TSLCompData, TSLObject)
public:
    virtual int GetElementCount() = 0;
    // The first element; restarts the sequence there.
    virtual TSLObject* GetFirstElement() = 0;
    // The next element of the sequence (the first one right after the start).
    virtual TSLObject* GetNextElement() = 0;
    virtual TSLObject* GetElementAtIndex(int Index) = 0;

protected:
    TSLCompData() = default;
};

// An element source over a list of values held by it; builds composites from
// code the way the reader does.
class TSLListCompData : public TSLCompData {
    VO_REFOBJ_CLASS(TSLListCompData, TSLCompData)
public:
    TSLListCompData() = default;
    explicit TSLListCompData(TSLObjectList Elements) : FElements(std::move(Elements)) {}
    void Add(TSLObject* Obj) { FElements.emplace_back(Obj); }

    int GetElementCount() override { return static_cast<int>(FElements.size()); }
    TSLObject* GetFirstElement() override;
    TSLObject* GetNextElement() override;
    TSLObject* GetElementAtIndex(int Index) override;

private:
    TSLObjectList FElements;
    std::size_t FNext = 0;
};

class TSLComposite;

// A composite class as the reader keeps it: its letter and how to make an empty
// one.
struct TSLCompositeClass {
    const TClassInfo* Class;
    char CompositeType;
    TRef<TSLComposite> (*CreateEmptyComposite)();
};

class TSLComposite : public TSLObject {
    VO_REFOBJ_CLASS(TSLComposite, TSLObject)
public:
    // The composite's name (empty for an unnamed one).
    const MyAnsiString& GetIdent() const noexcept { return FIdent ? *FIdent : NoIdent(); }
    void SetIdent(std::string_view Ident) {
        if (Ident.empty())
            FIdent.reset();
        else if (FIdent)
            FIdent->assign(Ident.data(), Ident.size());
        else
            FIdent = std::make_unique<MyAnsiString>(Ident);
    }

    // The writer's cache of this composite's back-reference number during one
    // write; no meaning otherwise.
    int32_t CompositeHandle = 0;

    // An empty composite (count 0) of the receiver's class.
    virtual TRef<TSLComposite> CreateEmptyComposite() const = 0;
    // Fills a new composite from the reader's elements.
    virtual void InitComposite(TSLCompData* CompData) = 0;
    // Writes the contents (without the brackets).
    virtual void EncodeCompositeContent(TEncoderInterface& Encoder) = 0;
    // The letter of the receiver's class.
    virtual char AGetCompositeType() const = 0;

    // Lets the writer decide between a back reference and a full write.
    void Encode(TEncoderInterface& Encoder) override { Encoder.EncodeObject(this); }

protected:
    TSLComposite() = default;

private:
    static const MyAnsiString& NoIdent() noexcept {
        static const MyAnsiString none;
        return none;
    }
    // Most composites are unnamed: the name is kept apart, so that they carry
    // only a pointer.
    std::unique_ptr<MyAnsiString> FIdent;
};

// Declares a concrete composite class: its letter (GetCompositeType, callable
// on the class), the instance's letter, the empty-composite constructor and
// the class record the reader registers.
#define VO_SL_COMPOSITE(Self, Letter) \
public: \
    static constexpr char GetCompositeType() noexcept { return Letter; } \
    char AGetCompositeType() const override { return Letter; } \
    ::vo::TRef<::vo::TSLComposite> CreateEmptyComposite() const override { \
        return ::vo::MakeRef<Self>(); \
    } \
    static const ::vo::TSLCompositeClass& CompositeClass() noexcept { \
        static const ::vo::TSLCompositeClass c{&Self::ClassInfo, Letter, \
                                               [] { return ::vo::TRef<::vo::TSLComposite>( \
                                                        ::vo::MakeRef<Self>()); }}; \
        return c; \
    } \
\
private:

} // namespace vo
