#include "com_sinks.hpp"

#include "com_object.hpp"
#include "opc_da.h"

#include <cstring>
#include <string>
#include <vector>

namespace tagclient::transport::com {

namespace {

// The VARIANTs of one notification, copied out of the caller's arrays.
class VariantCopies {
public:
    VariantCopies(const VARIANT* values, DWORD count) : values_(values ? count : 0) {
        for (auto& v : values_)
            VariantInit(&v);
        for (size_t i = 0; i < values_.size(); ++i)
            VariantCopy(&values_[i], const_cast<VARIANT*>(&values[i]));
    }
    ~VariantCopies() {
        for (auto& v : values_)
            VariantClear(&v);
    }
    VariantCopies(const VariantCopies&) = delete;
    VariantCopies& operator=(const VariantCopies&) = delete;
    const VARIANT* data() const { return values_.empty() ? nullptr : values_.data(); }

private:
    std::vector<VARIANT> values_;
};

template <class T> std::vector<T> CopyArray(const T* p, DWORD count) {
    return p ? std::vector<T>(p, p + count) : std::vector<T>();
}
template <class T> const T* DataOrNull(const std::vector<T>& v) {
    return v.empty() ? nullptr : v.data();
}

class ShutdownSinkCom final : public ComObject<IOPCShutdown> {
public:
    ShutdownSinkCom(Host& host, std::shared_ptr<OPCShutdown> sink) : host_(host), sink_(std::move(sink)) {}

    HRESULT STDMETHODCALLTYPE ShutdownRequest(LPCWSTR szReason) override {
        bool has_reason = szReason != nullptr;
        std::u16string reason =
            has_reason ? std::u16string(reinterpret_cast<const char16_t*>(szReason)) : u"";
        host_.Post([sink = sink_, has_reason, reason] {
            sink->ShutdownRequest(has_reason ? reinterpret_cast<const OLECHAR*>(reason.c_str()) : nullptr);
        });
        return S_OK;
    }

private:
    Host& host_;
    std::shared_ptr<OPCShutdown> sink_;
};

class DataCallbackSinkCom final : public ComObject<IOPCDataCallback> {
public:
    DataCallbackSinkCom(Host& host, std::shared_ptr<OPCDataCallback> sink)
        : host_(host), sink_(std::move(sink)) {}

    HRESULT STDMETHODCALLTYPE OnDataChange(DWORD dwTransid, OPCHANDLE hGroup, HRESULT hrMasterquality,
                                           HRESULT hrMastererror, DWORD dwCount, OPCHANDLE* phClientItems,
                                           VARIANT* pvValues, WORD* pwQualities, FILETIME* pftTimeStamps,
                                           HRESULT* pErrors) override {
        PostValues(false, dwTransid, hGroup, hrMasterquality, hrMastererror, dwCount, phClientItems, pvValues,
                   pwQualities, pftTimeStamps, pErrors);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnReadComplete(DWORD dwTransid, OPCHANDLE hGroup, HRESULT hrMasterquality,
                                             HRESULT hrMastererror, DWORD dwCount, OPCHANDLE* phClientItems,
                                             VARIANT* pvValues, WORD* pwQualities, FILETIME* pftTimeStamps,
                                             HRESULT* pErrors) override {
        PostValues(true, dwTransid, hGroup, hrMasterquality, hrMastererror, dwCount, phClientItems, pvValues,
                   pwQualities, pftTimeStamps, pErrors);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnWriteComplete(DWORD dwTransid, OPCHANDLE hGroup, HRESULT hrMastererr,
                                              DWORD dwCount, OPCHANDLE* pClienthandles,
                                              HRESULT* pErrors) override {
        host_.Post([sink = sink_, dwTransid, hGroup, hrMastererr, dwCount,
                    handles = CopyArray(pClienthandles, dwCount), errors = CopyArray(pErrors, dwCount)] {
            sink->OnWriteComplete(dwTransid, hGroup, hrMastererr, static_cast<DWORD>(handles.size()),
                                  DataOrNull(handles), DataOrNull(errors));
        });
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnCancelComplete(DWORD dwTransid, OPCHANDLE hGroup) override {
        host_.Post([sink = sink_, dwTransid, hGroup] { sink->OnCancelComplete(dwTransid, hGroup); });
        return S_OK;
    }

private:
    void PostValues(bool read_complete, DWORD transid, OPCHANDLE group, HRESULT master_quality,
                    HRESULT master_error, DWORD count, const OPCHANDLE* handles, const VARIANT* values,
                    const WORD* qualities, const FILETIME* times, const HRESULT* errors) {
        // A server that sends a count without the arrays gets nothing delivered for those items.
        if (!handles || !values || !qualities || !times || !errors)
            count = 0;
        auto copies = std::make_shared<VariantCopies>(values, count);
        host_.Post([sink = sink_, read_complete, transid, group, master_quality, master_error, count,
                    h = CopyArray(handles, count), copies, q = CopyArray(qualities, count),
                    t = CopyArray(times, count), e = CopyArray(errors, count)] {
            if (read_complete)
                sink->OnReadComplete(transid, group, master_quality, master_error, count, DataOrNull(h),
                                     copies->data(), DataOrNull(q), DataOrNull(t), DataOrNull(e));
            else
                sink->OnDataChange(transid, group, master_quality, master_error, count, DataOrNull(h),
                                   copies->data(), DataOrNull(q), DataOrNull(t), DataOrNull(e));
        });
    }

    Host& host_;
    std::shared_ptr<OPCDataCallback> sink_;
};

// A copy of the caller's global memory block, handed to the core as its medium.
class BlockCopy final : public GlobalMemory {
public:
    explicit BlockCopy(std::vector<BYTE> bytes) : bytes_(std::move(bytes)) {}
    const BYTE* Lock() override { return bytes_.data(); }
    void Unlock() override {}
    size_t Size() const override { return bytes_.size(); }

private:
    std::vector<BYTE> bytes_;
};

class AdviseSinkCom final : public ComObject<IAdviseSink> {
public:
    AdviseSinkCom(Host& host, std::shared_ptr<AdviseSink> sink) : host_(host), sink_(std::move(sink)) {}

    void STDMETHODCALLTYPE OnDataChange(FORMATETC* pFormatetc, STGMEDIUM* pStgmed) override {
        if (!pFormatetc || !pStgmed)
            return;
        FormatEtc format{pFormatetc->cfFormat, nullptr, pFormatetc->dwAspect, pFormatetc->lindex,
                         pFormatetc->tymed};
        DWORD tymed = pStgmed->tymed;
        std::shared_ptr<BlockCopy> block;
        if (tymed == TYMED_HGLOBAL && pStgmed->hGlobal) {
            // The medium stays the caller's: copy what it holds now.
            if (const void* p = GlobalLock(pStgmed->hGlobal)) {
                SIZE_T size = GlobalSize(pStgmed->hGlobal);
                const BYTE* bytes = static_cast<const BYTE*>(p);
                block = std::make_shared<BlockCopy>(std::vector<BYTE>(bytes, bytes + size));
                GlobalUnlock(pStgmed->hGlobal);
            }
        }
        host_.Post([sink = sink_, format, tymed, block] {
            StgMedium medium{tymed, block.get()};
            sink->OnDataChange(format, medium);
        });
    }
    void STDMETHODCALLTYPE OnViewChange(DWORD dwAspect, LONG lindex) override {
        host_.Post([sink = sink_, dwAspect, lindex] { sink->OnViewChange(dwAspect, lindex); });
    }
    void STDMETHODCALLTYPE OnRename(IMoniker*) override {
        host_.Post([sink = sink_] { sink->OnRename(); });
    }
    void STDMETHODCALLTYPE OnSave() override {
        host_.Post([sink = sink_] { sink->OnSave(); });
    }
    void STDMETHODCALLTYPE OnClose() override {
        host_.Post([sink = sink_] { sink->OnClose(); });
    }

private:
    Host& host_;
    std::shared_ptr<AdviseSink> sink_;
};

} // namespace

ComPtr<IUnknown> MakeConnectionSink(Host& host, const IID& riid, const std::shared_ptr<Sink>& sink) {
    if (IsEqualIID(riid, __uuidof(IOPCShutdown))) {
        if (auto s = std::dynamic_pointer_cast<OPCShutdown>(sink)) {
            auto com = MakeCom<ShutdownSinkCom>(host, std::move(s));
            return ComPtr<IUnknown>::Share(static_cast<IOPCShutdown*>(com.get()));
        }
    } else if (IsEqualIID(riid, __uuidof(IOPCDataCallback))) {
        if (auto s = std::dynamic_pointer_cast<OPCDataCallback>(sink)) {
            auto com = MakeCom<DataCallbackSinkCom>(host, std::move(s));
            return ComPtr<IUnknown>::Share(static_cast<IOPCDataCallback*>(com.get()));
        }
    }
    return {};
}

ComPtr<IAdviseSink> MakeAdviseSink(Host& host, const std::shared_ptr<AdviseSink>& sink) {
    auto com = MakeCom<AdviseSinkCom>(host, sink);
    return ComPtr<IAdviseSink>::Share(com.get());
}

} // namespace tagclient::transport::com
