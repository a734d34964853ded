#include "Win32.hpp"
#include "standin/Base.hpp"
#include "standin/Win.hpp"

#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <set>

namespace standin::win {
namespace {

struct TrustState {
    std::mutex mutex;
    std::set<std::string> signedContents;
    std::vector<TrustCheck> log;
    std::set<int*> openStates;
};

TrustState& Trust()
{
    static TrustState state;
    return state;
}

}  // namespace

void TrustSignedContent(const std::string& bytes)
{
    std::lock_guard lock(Trust().mutex);
    Trust().signedContents.insert(bytes);
}

void ClearTrust()
{
    std::lock_guard lock(Trust().mutex);
    Trust().signedContents.clear();
    Trust().log.clear();
}

std::vector<TrustCheck> TrustLog()
{
    std::lock_guard lock(Trust().mutex);
    return Trust().log;
}

int OpenTrustStates()
{
    std::lock_guard lock(Trust().mutex);
    return static_cast<int>(Trust().openStates.size());
}

}  // namespace standin::win

LONG WinVerifyTrust(HWND, GUID* action, LPVOID data)
{
    using namespace standin::win;
    if (action == nullptr || std::memcmp(action, &WINTRUST_ACTION_GENERIC_VERIFY_V2, sizeof(GUID)) != 0)
        return TRUST_E_PROVIDER_UNKNOWN;
    auto* trust = static_cast<WINTRUST_DATA*>(data);
    if (trust == nullptr || trust->cbStruct != sizeof(WINTRUST_DATA) || trust->dwUIChoice < WTD_UI_ALL ||
        trust->dwUIChoice > 4 || trust->fdwRevocationChecks > WTD_REVOKE_WHOLECHAIN)
        return E_INVALIDARG;
    auto& state = Trust();
    std::lock_guard lock(state.mutex);
    if (trust->dwStateAction == WTD_STATEACTION_CLOSE) {
        auto* open = static_cast<int*>(trust->hWVTStateData);
        if (state.openStates.erase(open) == 0)
            return E_INVALIDARG;
        delete open;
        trust->hWVTStateData = nullptr;
        return ERROR_SUCCESS;
    }
    if (trust->dwStateAction != WTD_STATEACTION_VERIFY && trust->dwStateAction != WTD_STATEACTION_IGNORE)
        return E_INVALIDARG;
    if (trust->dwUnionChoice != WTD_CHOICE_FILE)
        return TRUST_E_SUBJECT_FORM_UNKNOWN;
    const WINTRUST_FILE_INFO* file = trust->pFile;
    if (file == nullptr || file->cbStruct != sizeof(WINTRUST_FILE_INFO) || file->pcwszFilePath == nullptr)
        return E_INVALIDARG;

    TrustCheck check{WideToUtf8(file->pcwszFilePath), false};
    std::ifstream in(standin::base::NormalisePath(check.file), std::ios::binary);
    LONG verdict = TRUST_E_NOSIGNATURE;
    if (in) {
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (state.signedContents.count(bytes) != 0)
            verdict = ERROR_SUCCESS;
    } else {
        verdict = TRUST_E_SUBJECT_FORM_UNKNOWN;
    }
    check.trusted = verdict == ERROR_SUCCESS;
    state.log.push_back(check);
    if (trust->dwStateAction == WTD_STATEACTION_VERIFY) {
        auto* open = new int(0);
        state.openStates.insert(open);
        trust->hWVTStateData = open;
    }
    return verdict;
}
