// SAFEARRAY services. A descriptor is allocated with a 16-byte prefix whose last 4 bytes hold the element
// VARTYPE (FADF_HAVEVARTYPE), followed by the SAFEARRAY and its bounds:
//
//   [ 12 bytes reserved | VARTYPE (4 bytes) | SAFEARRAY with cDims bounds ]
//
// Bounds are stored in reverse order of the dimensions (rgsabound[0] is the last dimension) and the first
// index varies fastest, as OLE does. Arrays of BSTR, VARIANT and interface pointers own their elements.
#include "oleaut_internal.hpp"
#include "platform/oleauto.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

constexpr std::size_t kPrefix = 16;
constexpr ULONG kMaxLocks = 65535;

std::size_t DescriptorSize(UINT dims) {
    return sizeof(SAFEARRAY) + (dims > 1 ? (dims - 1) * sizeof(SAFEARRAYBOUND) : 0);
}

char* BlockOf(SAFEARRAY* psa) {
    return reinterpret_cast<char*>(psa) - kPrefix;
}

DWORD& VarTypeField(SAFEARRAY* psa) {
    return *reinterpret_cast<DWORD*>(BlockOf(psa) + kPrefix - 4);
}

// Total number of elements, or no value when the product overflows.
bool CellCount(const SAFEARRAY* psa, std::size_t& count) {
    std::size_t n = 1;
    for (USHORT d = 0; d < psa->cDims; ++d) {
        const std::size_t e = psa->rgsabound[d].cElements;
        if (e != 0 && n > std::numeric_limits<std::size_t>::max() / e)
            return false;
        n *= e;
    }
    count = n;
    return true;
}

// Releases what the elements own; leaves the memory zeroed.
void ReleaseElements(SAFEARRAY* psa) {
    std::size_t count = 0;
    if (!psa->pvData || !CellCount(psa, count))
        return;
    if (psa->fFeatures & FADF_BSTR) {
        auto* items = static_cast<BSTR*>(psa->pvData);
        for (std::size_t i = 0; i < count; ++i)
            SysFreeString(items[i]);
    } else if (psa->fFeatures & FADF_VARIANT) {
        auto* items = static_cast<VARIANT*>(psa->pvData);
        for (std::size_t i = 0; i < count; ++i)
            VariantClear(&items[i]);
    } else if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
        auto* items = static_cast<void**>(psa->pvData);
        for (std::size_t i = 0; i < count; ++i)
            qz::detail::ReleaseInterface(items[i]);
    }
    std::memset(psa->pvData, 0, count * psa->cbElements);
}

// Byte offset of the element at rgIndices (leftmost dimension first), or false when out of bounds.
bool CellOffset(const SAFEARRAY* psa, const LONG* rgIndices, std::size_t& offset) {
    std::size_t cell = 0;
    std::size_t stride = 1;
    for (USHORT dim = 0; dim < psa->cDims; ++dim) {
        const SAFEARRAYBOUND& bound = psa->rgsabound[psa->cDims - 1 - dim];
        const long long rel = static_cast<long long>(rgIndices[dim]) - bound.lLbound;
        if (rel < 0 || rel >= static_cast<long long>(bound.cElements))
            return false;
        cell += static_cast<std::size_t>(rel) * stride;
        stride *= bound.cElements;
    }
    offset = cell * psa->cbElements;
    return true;
}

USHORT FeaturesFor(VARTYPE vt) {
    switch (vt) {
    case VT_BSTR:
        return FADF_BSTR | FADF_HAVEVARTYPE;
    case VT_VARIANT:
        return FADF_VARIANT | FADF_HAVEVARTYPE;
    case VT_UNKNOWN:
        return FADF_UNKNOWN | FADF_HAVEVARTYPE;
    case VT_DISPATCH:
        return FADF_DISPATCH | FADF_HAVEVARTYPE;
    default:
        return FADF_HAVEVARTYPE;
    }
}

// Creates an array whose bounds are given either in the order of the dimensions (as callers give them)
// or already in storage order (when copying an array).
SAFEARRAY* CreateArray(VARTYPE vt, UINT cDims, const SAFEARRAYBOUND* bounds, bool storage_order) {
    const ULONG size = qz::ElementSize(vt);
    if (size == 0 || cDims == 0 || cDims > 0xFFFF || !bounds)
        return nullptr;
    char* block = static_cast<char*>(std::calloc(1, kPrefix + DescriptorSize(cDims)));
    if (!block)
        return nullptr;
    auto* psa = reinterpret_cast<SAFEARRAY*>(block + kPrefix);
    psa->cDims = static_cast<USHORT>(cDims);
    psa->fFeatures = FeaturesFor(vt);
    psa->cbElements = size;
    VarTypeField(psa) = vt;
    for (UINT d = 0; d < cDims; ++d)
        psa->rgsabound[storage_order ? d : cDims - 1 - d] = bounds[d];
    std::size_t count = 0;
    if (!CellCount(psa, count) || count > std::numeric_limits<std::size_t>::max() / size) {
        std::free(block);
        return nullptr;
    }
    psa->pvData = std::calloc(count ? count : 1, size);
    if (!psa->pvData) {
        std::free(block);
        return nullptr;
    }
    return psa;
}

} // namespace

extern "C" {

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound) {
    return CreateArray(vt, cDims, rgsabound, false);
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements) {
    SAFEARRAYBOUND bound{cElements, lLbound};
    return SafeArrayCreate(vt, 1, &bound);
}

HRESULT SafeArrayDestroy(SAFEARRAY* psa) {
    if (!psa)
        return S_OK;
    if (std::atomic_ref<ULONG>(psa->cLocks).load() > 0)
        return DISP_E_ARRAYISLOCKED;
    ReleaseElements(psa);
    std::free(psa->pvData);
    std::free(BlockOf(psa));
    return S_OK;
}

HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut) {
    if (!ppsaOut)
        return E_INVALIDARG;
    *ppsaOut = nullptr;
    if (!psa)
        return S_OK;
    VARTYPE vt = VT_EMPTY;
    HRESULT hr = SafeArrayGetVartype(psa, &vt);
    if (FAILED(hr))
        return hr;
    SAFEARRAY* copy = CreateArray(vt, psa->cDims, psa->rgsabound, true);
    if (!copy)
        return E_OUTOFMEMORY;
    std::size_t count = 0;
    CellCount(psa, count);
    if (psa->fFeatures & FADF_BSTR) {
        auto* from = static_cast<BSTR*>(psa->pvData);
        auto* to = static_cast<BSTR*>(copy->pvData);
        for (std::size_t i = 0; i < count; ++i) {
            if (!from[i])
                continue;
            to[i] = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(from[i]), SysStringByteLen(from[i]));
            if (!to[i]) {
                SafeArrayDestroy(copy);
                return E_OUTOFMEMORY;
            }
        }
    } else if (psa->fFeatures & FADF_VARIANT) {
        auto* from = static_cast<VARIANT*>(psa->pvData);
        auto* to = static_cast<VARIANT*>(copy->pvData);
        for (std::size_t i = 0; i < count; ++i) {
            hr = VariantCopy(&to[i], &from[i]);
            if (FAILED(hr)) {
                SafeArrayDestroy(copy);
                return hr;
            }
        }
    } else {
        if (count)
            std::memcpy(copy->pvData, psa->pvData, count * psa->cbElements);
        if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
            auto* items = static_cast<void**>(copy->pvData);
            for (std::size_t i = 0; i < count; ++i)
                qz::detail::AddRefInterface(items[i]);
        }
    }
    *ppsaOut = copy;
    return S_OK;
}

UINT SafeArrayGetDim(SAFEARRAY* psa) {
    return psa ? psa->cDims : 0;
}

UINT SafeArrayGetElemsize(SAFEARRAY* psa) {
    return psa ? psa->cbElements : 0;
}

HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt) {
    if (!psa || !pvt)
        return E_INVALIDARG;
    if (psa->fFeatures & FADF_HAVEVARTYPE)
        *pvt = static_cast<VARTYPE>(VarTypeField(psa));
    else if (psa->fFeatures & FADF_BSTR)
        *pvt = VT_BSTR;
    else if (psa->fFeatures & FADF_VARIANT)
        *pvt = VT_VARIANT;
    else if (psa->fFeatures & FADF_UNKNOWN)
        *pvt = VT_UNKNOWN;
    else if (psa->fFeatures & FADF_DISPATCH)
        *pvt = VT_DISPATCH;
    else
        return E_INVALIDARG;
    return S_OK;
}

HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound) {
    if (!psa || !plLbound)
        return E_INVALIDARG;
    if (nDim == 0 || nDim > psa->cDims)
        return DISP_E_BADINDEX;
    *plLbound = psa->rgsabound[psa->cDims - nDim].lLbound;
    return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound) {
    if (!psa || !plUbound)
        return E_INVALIDARG;
    if (nDim == 0 || nDim > psa->cDims)
        return DISP_E_BADINDEX;
    const SAFEARRAYBOUND& b = psa->rgsabound[psa->cDims - nDim];
    *plUbound = static_cast<LONG>(static_cast<long long>(b.lLbound) + b.cElements - 1);
    return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData) {
    if (!psa || !ppvData)
        return E_INVALIDARG;
    // Locks are counted atomically, as several threads may read one array.
    std::atomic_ref<ULONG> locks(psa->cLocks);
    ULONG current = locks.load();
    do {
        if (current >= kMaxLocks)
            return E_UNEXPECTED;
    } while (!locks.compare_exchange_weak(current, current + 1));
    *ppvData = psa->pvData;
    return S_OK;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* psa) {
    if (!psa)
        return E_INVALIDARG;
    std::atomic_ref<ULONG> locks(psa->cLocks);
    ULONG current = locks.load();
    do {
        if (current == 0)
            return E_UNEXPECTED;
    } while (!locks.compare_exchange_weak(current, current - 1));
    return S_OK;
}

HRESULT SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
    if (!psa || !rgIndices || !pv)
        return E_INVALIDARG;
    std::size_t offset = 0;
    if (!CellOffset(psa, rgIndices, offset))
        return DISP_E_BADINDEX;
    const char* cell = static_cast<const char*>(psa->pvData) + offset;
    // The destination receives a fresh copy; whatever it held before is not released.
    if (psa->fFeatures & FADF_BSTR) {
        const BSTR from = *reinterpret_cast<const BSTR*>(cell);
        BSTR copy = nullptr;
        if (from) {
            copy = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(from), SysStringByteLen(from));
            if (!copy)
                return E_OUTOFMEMORY;
        }
        *static_cast<BSTR*>(pv) = copy;
    } else if (psa->fFeatures & FADF_VARIANT) {
        auto* to = static_cast<VARIANT*>(pv);
        VariantInit(to);
        return VariantCopy(to, reinterpret_cast<const VARIANT*>(cell));
    } else {
        std::memcpy(pv, cell, psa->cbElements);
        if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH))
            qz::detail::AddRefInterface(*static_cast<void**>(pv));
    }
    return S_OK;
}

HRESULT SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
    if (!psa || !rgIndices)
        return E_INVALIDARG;
    std::size_t offset = 0;
    if (!CellOffset(psa, rgIndices, offset))
        return DISP_E_BADINDEX;
    char* cell = static_cast<char*>(psa->pvData) + offset;
    if (psa->fFeatures & FADF_BSTR) {
        // For string arrays pv is the BSTR itself (null stores the empty string).
        const BSTR from = static_cast<BSTR>(pv);
        BSTR copy = nullptr;
        if (from) {
            copy = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(from), SysStringByteLen(from));
            if (!copy)
                return E_OUTOFMEMORY;
        }
        BSTR* slot = reinterpret_cast<BSTR*>(cell);
        SysFreeString(*slot);
        *slot = copy;
    } else if (psa->fFeatures & FADF_VARIANT) {
        if (!pv)
            return E_INVALIDARG;
        return VariantCopy(reinterpret_cast<VARIANT*>(cell), static_cast<const VARIANT*>(pv));
    } else if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
        // For interface arrays pv is the interface pointer itself.
        void** slot = reinterpret_cast<void**>(cell);
        qz::detail::AddRefInterface(pv);
        qz::detail::ReleaseInterface(*slot);
        *slot = pv;
    } else {
        if (!pv)
            return E_INVALIDARG;
        std::memcpy(cell, pv, psa->cbElements);
    }
    return S_OK;
}

} // extern "C"
