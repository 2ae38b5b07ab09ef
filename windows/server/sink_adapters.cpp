#include "sink_adapters.hpp"

#include "module.hpp"

#include <cstring>

namespace opcsim {

namespace tp = tagclient::transport;

namespace {

class ShutdownAdapter final : public tp::OPCShutdown {
public:
    explicit ShutdownAdapter(ComPtr<IOPCShutdown> sink) : sink_(std::move(sink)) {}
    HRESULT ShutdownRequest(const OLECHAR* szReason) override {
        return sink_->ShutdownRequest(
            reinterpret_cast<LPCWSTR>(szReason ? szReason : reinterpret_cast<const OLECHAR*>(L"")));
    }

private:
    ComPtr<IOPCShutdown> sink_;
};

template <class T> T* Mutable(const T* p) {
    return const_cast<T*>(p);
}

class DataCallbackAdapter final : public tp::OPCDataCallback {
public:
    explicit DataCallbackAdapter(ComPtr<IOPCDataCallback> sink) : sink_(std::move(sink)) {}
    HRESULT OnDataChange(DWORD dwTransid, tp::OPCHANDLE hGroup, HRESULT hrMasterquality,
                         HRESULT hrMastererror, DWORD dwCount, const tp::OPCHANDLE* phClientItems,
                         const VARIANT* pvValues, const WORD* pwQualities, const FILETIME* pftTimeStamps,
                         const HRESULT* pErrors) override {
        return sink_->OnDataChange(dwTransid, hGroup, hrMasterquality, hrMastererror, dwCount,
                                   Mutable(phClientItems), Mutable(pvValues), Mutable(pwQualities),
                                   Mutable(pftTimeStamps), Mutable(pErrors));
    }
    HRESULT OnReadComplete(DWORD dwTransid, tp::OPCHANDLE hGroup, HRESULT hrMasterquality,
                           HRESULT hrMastererror, DWORD dwCount, const tp::OPCHANDLE* phClientItems,
                           const VARIANT* pvValues, const WORD* pwQualities, const FILETIME* pftTimeStamps,
                           const HRESULT* pErrors) override {
        return sink_->OnReadComplete(dwTransid, hGroup, hrMasterquality, hrMastererror, dwCount,
                                     Mutable(phClientItems), Mutable(pvValues), Mutable(pwQualities),
                                     Mutable(pftTimeStamps), Mutable(pErrors));
    }
    HRESULT OnWriteComplete(DWORD dwTransid, tp::OPCHANDLE hGroup, HRESULT hrMastererr, DWORD dwCount,
                            const tp::OPCHANDLE* pClienthandles, const HRESULT* pErrors) override {
        return sink_->OnWriteComplete(dwTransid, hGroup, hrMastererr, dwCount, Mutable(pClienthandles),
                                      Mutable(pErrors));
    }
    HRESULT OnCancelComplete(DWORD dwTransid, tp::OPCHANDLE hGroup) override {
        return sink_->OnCancelComplete(dwTransid, hGroup);
    }

private:
    ComPtr<IOPCDataCallback> sink_;
};

// A global memory block freed when the holder goes away.
class GlobalBlock {
public:
    explicit GlobalBlock(SIZE_T size) : handle_(GlobalAlloc(GMEM_MOVEABLE, size ? size : 1)) {}
    ~GlobalBlock() {
        if (handle_)
            GlobalFree(handle_);
    }
    GlobalBlock(const GlobalBlock&) = delete;
    GlobalBlock& operator=(const GlobalBlock&) = delete;
    HGLOBAL get() const { return handle_; }

private:
    HGLOBAL handle_;
};

class AdviseSinkAdapter final : public tp::AdviseSink {
public:
    explicit AdviseSinkAdapter(ComPtr<IAdviseSink> sink) : sink_(std::move(sink)) {}
    void OnDataChange(const tp::FormatEtc& format, const tp::StgMedium& medium) override {
        FORMATETC fe{Module::Get().ToSystemFormat(format.cfFormat), nullptr, format.dwAspect, format.lindex,
                     format.tymed};
        STGMEDIUM stg{};
        stg.tymed = medium.tymed;
        if (medium.tymed != TYMED_HGLOBAL || !medium.hGlobal) {
            sink_->OnDataChange(&fe, &stg);
            return;
        }
        const BYTE* bytes = medium.hGlobal->Lock();
        if (!bytes)
            return;
        size_t size = medium.hGlobal->Size();
        GlobalBlock block(size);
        if (void* p = block.get() ? GlobalLock(block.get()) : nullptr) {
            std::memcpy(p, bytes, size);
            GlobalUnlock(block.get());
            stg.hGlobal = block.get();
            sink_->OnDataChange(&fe, &stg);
        }
        medium.hGlobal->Unlock();
    }
    void OnViewChange(DWORD dwAspect, LONG lindex) override { sink_->OnViewChange(dwAspect, lindex); }
    void OnRename() override { sink_->OnRename(nullptr); }
    void OnSave() override { sink_->OnSave(); }
    void OnClose() override { sink_->OnClose(); }

private:
    ComPtr<IAdviseSink> sink_;
};

} // namespace

std::shared_ptr<tp::Sink> AdaptConnectionSink(const IID& riid, IUnknown* sink) {
    if (!sink)
        return nullptr;
    auto object = ComPtr<IUnknown>::Share(sink);
    if (IsEqualIID(riid, __uuidof(IOPCShutdown))) {
        if (auto itf = object.Query<IOPCShutdown>())
            return std::make_shared<ShutdownAdapter>(std::move(itf));
    } else if (IsEqualIID(riid, __uuidof(IOPCDataCallback))) {
        if (auto itf = object.Query<IOPCDataCallback>())
            return std::make_shared<DataCallbackAdapter>(std::move(itf));
    }
    return nullptr;
}

std::shared_ptr<tp::AdviseSink> AdaptAdviseSink(IAdviseSink* sink) {
    if (!sink)
        return nullptr;
    return std::make_shared<AdviseSinkAdapter>(ComPtr<IAdviseSink>::Share(sink));
}

} // namespace opcsim
