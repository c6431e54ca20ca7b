#pragma once

// A VISA backend in front of another that fails chosen calls, as a library, a cable or an
// instrument may, and records every write the utility attempted, failed ones included.

#include "link/visa/Backend.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class FaultyVisa final : public visa::Backend {
public:
    enum class Call { FindNext, Open, SetAttribute, Write, Read };

    // Fails the occurrence-th call of that kind (counted from 1) whose text contains match:
    // the resource name of an open, the bytes of a write, the last write before a read. An
    // empty match counts every call of the kind; a failed next match delivers no name. A failed
    // open, time-out setting or write never reaches the inner backend; a failed read has taken the
    // reply away.
    struct Rule {
        Call call;
        std::string match;
        int occurrence = 1;
        ViStatus status = VI_ERROR_IO;
    };

    struct Attempt {
        std::vector<std::uint8_t> bytes;
        ViStatus status;
    };

    FaultyVisa(std::unique_ptr<visa::Backend> inner, std::vector<Rule> rules);

    ViStatus OpenDefaultRM(ViSession* sesn) override;
    ViStatus FindRsrc(ViSession sesn, ViConstString expr, ViFindList* findList, ViUInt32* retcnt,
                      ViChar desc[VI_FIND_BUFLEN]) override;
    ViStatus FindNext(ViFindList findList, ViChar desc[VI_FIND_BUFLEN]) override;
    ViStatus Open(ViSession sesn, ViConstRsrc name, ViAccessMode mode, ViUInt32 timeout,
                  ViSession* vi) override;
    ViStatus SetAttribute(ViObject vi, ViAttr attrName, ViAttrState attrValue) override;
    ViStatus Write(ViSession vi, ViConstBuf buf, ViUInt32 cnt, ViUInt32* retCnt) override;
    ViStatus Read(ViSession vi, ViBuf buf, ViUInt32 cnt, ViUInt32* retCnt) override;
    ViStatus Close(ViObject vi) override;

    // Every write the utility attempted, in order.
    const std::vector<Attempt>& Writes() const { return writes_; }
    // The open time-out of every open attempted, in order.
    const std::vector<ViUInt32>& OpenTimeouts() const { return openTimeouts_; }

private:
    // The status a rule imposes on this call, or VI_SUCCESS to pass it on.
    ViStatus Injected(Call call, const std::string& text);

    std::unique_ptr<visa::Backend> inner_;
    std::vector<Rule> rules_;
    std::vector<int> seen_;
    std::vector<Attempt> writes_;
    std::vector<ViUInt32> openTimeouts_;
    std::string lastWrite_;
};

inline FaultyVisa::FaultyVisa(std::unique_ptr<visa::Backend> inner, std::vector<Rule> rules)
    : inner_(std::move(inner)), rules_(std::move(rules)), seen_(rules_.size(), 0) {}

inline ViStatus FaultyVisa::Injected(Call call, const std::string& text) {
    ViStatus status = VI_SUCCESS;
    for (std::size_t i = 0; i < rules_.size(); ++i) {
        const Rule& rule = rules_[i];
        if (rule.call != call || text.find(rule.match) == std::string::npos)
            continue;
        if (++seen_[i] == rule.occurrence && status == VI_SUCCESS)
            status = rule.status;
    }
    return status;
}

inline ViStatus FaultyVisa::OpenDefaultRM(ViSession* sesn) {
    return inner_->OpenDefaultRM(sesn);
}

inline ViStatus FaultyVisa::FindRsrc(ViSession sesn, ViConstString expr, ViFindList* findList,
                                     ViUInt32* retcnt, ViChar desc[VI_FIND_BUFLEN]) {
    return inner_->FindRsrc(sesn, expr, findList, retcnt, desc);
}

inline ViStatus FaultyVisa::FindNext(ViFindList findList, ViChar desc[VI_FIND_BUFLEN]) {
    if (ViStatus status = Injected(Call::FindNext, ""); status != VI_SUCCESS)
        return status;
    return inner_->FindNext(findList, desc);
}

inline ViStatus FaultyVisa::Open(ViSession sesn, ViConstRsrc name, ViAccessMode mode,
                                 ViUInt32 timeout, ViSession* vi) {
    openTimeouts_.push_back(timeout);
    if (ViStatus status = Injected(Call::Open, name); status != VI_SUCCESS)
        return status;
    return inner_->Open(sesn, name, mode, timeout, vi);
}

inline ViStatus FaultyVisa::SetAttribute(ViObject vi, ViAttr attrName, ViAttrState attrValue) {
    if (ViStatus status = Injected(Call::SetAttribute, ""); status != VI_SUCCESS)
        return status;
    return inner_->SetAttribute(vi, attrName, attrValue);
}

inline ViStatus FaultyVisa::Write(ViSession vi, ViConstBuf buf, ViUInt32 cnt, ViUInt32* retCnt) {
    lastWrite_.assign(reinterpret_cast<const char*>(buf), cnt);
    ViStatus status = Injected(Call::Write, lastWrite_);
    if (status == VI_SUCCESS)
        status = inner_->Write(vi, buf, cnt, retCnt);
    writes_.push_back({std::vector<std::uint8_t>(buf, buf + cnt), status});
    return status;
}

// A failed read has taken the reply off the instrument, as a transfer error on the bus does.
inline ViStatus FaultyVisa::Read(ViSession vi, ViBuf buf, ViUInt32 cnt, ViUInt32* retCnt) {
    ViStatus injected = Injected(Call::Read, lastWrite_);
    ViStatus status = inner_->Read(vi, buf, cnt, retCnt);
    if (injected == VI_SUCCESS)
        return status;
    *retCnt = 0;
    return injected;
}

inline ViStatus FaultyVisa::Close(ViObject vi) {
    return inner_->Close(vi);
}
