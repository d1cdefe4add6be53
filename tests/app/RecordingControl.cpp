#include "tests/app/RecordingControl.h"

namespace apptest {

namespace {

using namespace component;

class RecordingObject final : public RefCounted,
                              public Dispatch,
                              public PersistState,
                              public InPlaceObject {
  public:
    explicit RecordingObject(std::shared_ptr<DisplayLog> log) : m_log(std::move(log)) {
        ++m_log->liveObjects;
    }

    Result QueryInterface(const Guid& iid, void** out) override {
        if (!out)
            return kNullPointer;
        *out = nullptr;
        if (iid == kIidUnknown || iid == kIidDispatch)
            *out = static_cast<Dispatch*>(this);
        else if (iid == kIidPersistState)
            *out = static_cast<PersistState*>(this);
        else if (iid == kIidInPlaceObject)
            *out = static_cast<InPlaceObject*>(this);
        else
            return kNoInterface;
        AddRefImpl();
        return kOk;
    }
    std::uint32_t AddRef() override { return AddRefImpl(); }
    std::uint32_t Release() override { return ReleaseImpl(); }

    Result GetIdsOfNames(std::span<const char* const>, DispId*) override { return kUnknownName; }
    Result Invoke(DispId id, InvokeKind kind, std::span<const Variant> args, Variant*,
                  std::uint32_t*) override {
        if (kind != InvokeKind::Method)
            return kMemberNotFound;
        m_log->calls.push_back({id, std::vector<Variant>(args.begin(), args.end())});
        return kOk;
    }

    Result Load(std::span<const std::uint8_t> data) override {
        m_log->loads.emplace_back(data.begin(), data.end());
        return kOk;
    }
    Result Save(std::vector<std::uint8_t>*) override { return kNotImplemented; }
    Result InitNew() override {
        ++m_log->initNewCount;
        return kOk;
    }

    Result Activate(QWidget* parent, const QRect& geometry) override {
        m_widget = new QWidget(parent);  // owned by `parent` until Deactivate
        m_widget->setGeometry(geometry);
        m_widget->show();
        m_log->activatedIn = parent;
        m_log->activatedAt = geometry;
        ++m_log->activations;
        return kOk;
    }
    Result Deactivate() override {
        ++m_log->deactivations;
        if (m_log->onDeactivate)
            m_log->onDeactivate();
        delete m_widget.data();
        return kOk;
    }
    QWidget* Widget() override { return m_widget; }
    Result ShowProperties(QWidget*) override { return kNotImplemented; }

  private:
    ~RecordingObject() override {
        delete m_widget.data();
        --m_log->liveObjects;
    }

    std::shared_ptr<DisplayLog> m_log;
    QPointer<QWidget> m_widget;
};

}  // namespace

CLumeq::Creator RecordingCreator(std::shared_ptr<DisplayLog> log, component::Result fail) {
    return [log, fail](const Guid& clsid, const Guid& iid, void** out) -> Result {
        *out = nullptr;
        if (component::Failed(fail))
            return fail;
        if (clsid != CLumeq::kClassId)
            return kClassNotRegistered;
        auto* object = new RecordingObject(log);
        const Result r = static_cast<Dispatch*>(object)->QueryInterface(iid, out);
        object->Release();
        return r;
    };
}

DisplayCall ShortCall(DispId id, int value) {
    return {id, {Variant::I2(static_cast<std::int16_t>(value))}};
}

DisplayCall LongCall(DispId id, std::int32_t value) {
    return {id, {Variant::I4(value)}};
}

DisplayCall NoArgCall(DispId id) {
    return {id, {}};
}

std::vector<DisplayCall> FrameUpdate(const std::array<int, 9>& values) {
    std::vector<DisplayCall> calls;
    for (int i = 0; i < 9; ++i)
        calls.push_back(ShortCall(i + 1, values[static_cast<std::size_t>(i)]));
    calls.push_back(NoArgCall(10));
    return calls;
}

}  // namespace apptest
