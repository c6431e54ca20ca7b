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

    FaultyVisa(std::unique_ptr<visa::Backend> inner, std::vector<Rule> rules)
        : inner_(std::move(inner)), rules_(std::move(rules)), seen_(rules_.size(), 0) {}

    ViStatus OpenDefaultRM(ViSession* sesn) override { return inner_->OpenDefaultRM(sesn); }
    ViStatus FindRsrc(ViSession sesn, ViConstString expr, ViFindList* findList, ViUInt32* retcnt,
                      ViChar desc[VI_FIND_BUFLEN]) override {
        return inner_->FindRsrc(sesn, expr, findList, retcnt, desc);
    }
    ViStatus FindNext(ViFindList findList, ViChar desc[VI_FIND_BUFLEN]) override {
        const ViStatus status = Injected(Call::FindNext, "");
        return status != VI_SUCCESS ? status : inner_->FindNext(findList, desc);
    }
    ViStatus Open(ViSession sesn, ViConstRsrc name, ViAccessMode mode, ViUInt32 timeout,
                  ViSession* vi) override {
        openTimeouts_.push_back(timeout);
        const ViStatus status = Injected(Call::Open, name);
        return status != VI_SUCCESS ? status : inner_->Open(sesn, name, mode, timeout, vi);
    }
    ViStatus SetAttribute(ViObject vi, ViAttr attrName, ViAttrState attrValue) override {
        const ViStatus status = Injected(Call::SetAttribute, "");
        return status != VI_SUCCESS ? status : inner_->SetAttribute(vi, attrName, attrValue);
    }
    ViStatus Write(ViSession vi, ViConstBuf buf, ViUInt32 cnt, ViUInt32* retCnt) override {
        lastWrite_.assign(reinterpret_cast<const char*>(buf), cnt);
        ViStatus status = Injected(Call::Write, lastWrite_);
        if (status == VI_SUCCESS)
            status = inner_->Write(vi, buf, cnt, retCnt);
        writes_.push_back({std::vector<std::uint8_t>(buf, buf + cnt), status});
        return status;
    }
    // A failed read has taken the reply off the instrument, as a transfer error on the bus does.
    ViStatus Read(ViSession vi, ViBuf buf, ViUInt32 cnt, ViUInt32* retCnt) override {
        const ViStatus injected = Injected(Call::Read, lastWrite_);
        const ViStatus status = inner_->Read(vi, buf, cnt, retCnt);
        if (injected == VI_SUCCESS)
            return status;
        *retCnt = 0;
        return injected;
    }
    ViStatus Close(ViObject vi) override { return inner_->Close(vi); }

    // Every write the utility attempted, in order.
    const std::vector<Attempt>& Writes() const { return writes_; }
    // The open time-out of every open attempted, in order.
    const std::vector<ViUInt32>& OpenTimeouts() const { return openTimeouts_; }

private:
    // The status a rule imposes on this call, or VI_SUCCESS to pass it on.
    ViStatus Injected(Call call, const std::string& text) {
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

    std::unique_ptr<visa::Backend> inner_;
    std::vector<Rule> rules_;
    std::vector<int> seen_;
    std::vector<Attempt> writes_;
    std::vector<ViUInt32> openTimeouts_;
    std::string lastWrite_;
};
