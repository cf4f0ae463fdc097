#pragma once

#include <QtTest>
#include <cstddef>
#include <cstdint>

#include "vorn/object.h"

// Classes for the core tests. Widget's type has two base parts, each at a non-zero offset.

inline const VnIID IID_ITestShape = VnMakeIID("ITestShape", 1);
inline const VnCLSID kWidgetId = VnMakeCLSID("mwtest", "Widget", 1);
inline const VnCLSID kShapeId = VnMakeCLSID("mwtest", "Shape", 1);

class ITestShape : public IRoot {
public:
    static const VnIID& IID() { return IID_ITestShape; }
    virtual int Corners() = 0;

protected:
    ~ITestShape() = default;
};

// Answers ITestShape as its second interface, so that pointer differs from its IRoot one.
class Shape final : public VnObject<INotify, ITestShape> {
public:
    static const VnTypeInfo* Type() {
        static const VnTypeInfo type{&kShapeId, "", Interfaces(), nullptr, nullptr, nullptr, 0};
        return &type;
    }
    const VnTypeInfo* GetTypeInfo() override { return Type(); }
    bool MemberChanged(void*) override { return true; }
    int Corners() override { return 4; }
};

struct CoreData {
    int32_t serial;
    char label[8];
};

struct PartData {
    double weight;
    char* caption;
    CoreData core;
};

struct WidgetData {
    int32_t count;
    float ratio;
    double scale;
    unsigned char enabled;
    char tag[8];
    char* note;
    int64_t when;
    char* source;
    IRoot* link;
    int32_t mode;
    int32_t flags;
    PartData part;
};

inline const VnChoice kModes[] = {{"Off", {{0}}, nullptr}, {"On", {{1}}, nullptr}, {}};
inline const VnChoice kFlags[] = {{"Red", {{1}}, nullptr}, {"Blue", {{2}}, nullptr}, {}};
inline const VnChoice kSceneDialog[] = {{"Pick a scene", {{0}}, "*.scene"}};

inline VnMemberDescriptor TestMember(const char* name, uint32_t type, std::ptrdiff_t offset,
                                     std::size_t size, uint32_t flags = kVnEditable,
                                     const void* extra = nullptr, const VnIID* iid = nullptr) {
    return {name,  type, static_cast<int32_t>(offset), static_cast<int32_t>(size), iid, name, flags,
            extra, {}};
}

inline const VnTypeInfo* CoreType() {
    static const VnMemberDescriptor members[] = {
        TestMember("serial", kVnLong, offsetof(CoreData, serial), 4),
        TestMember("label", kVnString, offsetof(CoreData, label), 8),
        {}};
    static const VnTypeInfo type{nullptr, "core", nullptr, members, nullptr, nullptr, 0};
    return &type;
}

inline const VnTypeInfo* PartType() {
    static const VnMemberDescriptor members[] = {
        TestMember("weight", kVnDouble, offsetof(PartData, weight), 8),
        TestMember("caption", kVnVornString, offsetof(PartData, caption), 8),
        {}};
    static const VnTypeInfo type{
        nullptr, "part", nullptr, members, nullptr, CoreType(), offsetof(PartData, core)};
    return &type;
}

class Widget final : public VnObject<IRoot> {
public:
    Widget() { child.SetOuter(Root()); }
    ~Widget() override {
        VnOS->Free(data.note);
        VnOS->Free(data.source);
        VnOS->Free(data.part.caption);
        if (data.link) data.link->Release();
    }
    static IRoot* Create() { return (new Widget)->Root(); }
    const VnTypeInfo* GetTypeInfo() override { return Type(); }
    static const VnTypeInfo* Type();

    WidgetData data{};
    Shape child;  // embedded, counted with the widget
};

inline const VnTypeInfo* Widget::Type() {
    static const VnTypeInfo* type = [] {
        // Widget is not standard-layout, so its offsets are measured on an instance.
        Widget probe;
        const char* start = reinterpret_cast<const char*>(probe.Root());
        const std::ptrdiff_t d = reinterpret_cast<const char*>(&probe.data) - start;
        const std::ptrdiff_t c = reinterpret_cast<const char*>(&probe.child) - start;
        const uint32_t e = kVnEditable;
        static const VnMemberDescriptor members[] = {
            TestMember("count", kVnLong, d + offsetof(WidgetData, count), 4),
            TestMember("ratio", kVnFloat, d + offsetof(WidgetData, ratio), 4),
            TestMember("scale", kVnDouble, d + offsetof(WidgetData, scale), 8),
            TestMember("enabled", kVnBool, d + offsetof(WidgetData, enabled), 1),
            TestMember("tag", kVnString, d + offsetof(WidgetData, tag), 8),
            TestMember("note", kVnVornString, d + offsetof(WidgetData, note), 8),
            TestMember("when", kVnTime, d + offsetof(WidgetData, when), 8),
            TestMember("source", kVnROTReference, d + offsetof(WidgetData, source), 8, e,
                       kSceneDialog),
            TestMember("link", kVnObjectRef, d + offsetof(WidgetData, link), 8, e, nullptr,
                       &IID_ITestShape),
            TestMember("mode", kVnLong, d + offsetof(WidgetData, mode), 4, e | kVnEditExclusive,
                       kModes),
            TestMember("flags", kVnLong, d + offsetof(WidgetData, flags), 4, 0, kFlags),
            TestMember("child", kVnObject, c, sizeof(Shape), 0),
            {}};
        const auto part = static_cast<intptr_t>(d + offsetof(WidgetData, part));
        static const VnTypeInfo info{&kWidgetId, "",         Interfaces(), members,
                                     nullptr,    PartType(), part};
        return &info;
    }();
    return type;
}

// A new widget made by the runtime, holding one reference.
inline Widget* NewWidget() {
    void* out = nullptr;
    if (!VnOS->CreateInstance(kWidgetId, IID_IRoot, &out)) return nullptr;
    return static_cast<Widget*>(static_cast<IRoot*>(out));
}

inline int Refs(IRoot* object) {
    object->AddRef();
    return object->Release();
}

// Adds a data row; text cells become QByteArray.
inline QByteArray Cell(const char* text) { return text; }
template <class T>
T Cell(const T& value) {
    return value;
}
template <class... T>
void Row(const char* name, const T&... cells) {
    (QTest::newRow(name) << ... << Cell(cells));
}
