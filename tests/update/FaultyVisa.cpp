#include "FaultyVisa.h"

FaultyVisa::FaultyVisa(std::unique_ptr<visa::Backend> inner, std::vector<Rule> rules)
    : inner_(std::move(inner)), rules_(std::move(rules)), seen_(rules_.size(), 0) {}

ViStatus FaultyVisa::Injected(Call call, const std::string& text) {
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

ViStatus FaultyVisa::OpenDefaultRM(ViSession* sesn) {
    return inner_->OpenDefaultRM(sesn);
}

ViStatus FaultyVisa::FindRsrc(ViSession sesn, ViConstString expr, ViFindList* findList,
                              ViUInt32* retcnt, ViChar desc[VI_FIND_BUFLEN]) {
    return inner_->FindRsrc(sesn, expr, findList, retcnt, desc);
}

ViStatus FaultyVisa::FindNext(ViFindList findList, ViChar desc[VI_FIND_BUFLEN]) {
    return inner_->FindNext(findList, desc);
}

ViStatus FaultyVisa::Open(ViSession sesn, ViConstRsrc name, ViAccessMode mode, ViUInt32 timeout,
                          ViSession* vi) {
    if (ViStatus status = Injected(Call::Open, name); status != VI_SUCCESS)
        return status;
    return inner_->Open(sesn, name, mode, timeout, vi);
}

ViStatus FaultyVisa::SetAttribute(ViObject vi, ViAttr attrName, ViAttrState attrValue) {
    if (ViStatus status = Injected(Call::SetAttribute, ""); status != VI_SUCCESS)
        return status;
    return inner_->SetAttribute(vi, attrName, attrValue);
}

ViStatus FaultyVisa::Write(ViSession vi, ViConstBuf buf, ViUInt32 cnt, ViUInt32* retCnt) {
    lastWrite_.assign(reinterpret_cast<const char*>(buf), cnt);
    ViStatus status = Injected(Call::Write, lastWrite_);
    if (status == VI_SUCCESS)
        status = inner_->Write(vi, buf, cnt, retCnt);
    writes_.push_back({std::vector<std::uint8_t>(buf, buf + cnt), status});
    return status;
}

// A failed read has taken the reply off the instrument, as a transfer error on the bus does.
ViStatus FaultyVisa::Read(ViSession vi, ViBuf buf, ViUInt32 cnt, ViUInt32* retCnt) {
    ViStatus injected = Injected(Call::Read, lastWrite_);
    ViStatus status = inner_->Read(vi, buf, cnt, retCnt);
    if (injected == VI_SUCCESS)
        return status;
    *retCnt = 0;
    return injected;
}

ViStatus FaultyVisa::Close(ViObject vi) {
    return inner_->Close(vi);
}
