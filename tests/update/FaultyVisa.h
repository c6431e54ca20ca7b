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
    enum class Call { Open, SetAttribute, Write, Read };

    // Fails the occurrence-th call of that kind (counted from 1) whose text contains match:
    // the resource name of an open, the bytes of a write, the last write before a read. An
    // empty match counts every call of the kind. A failed open, time-out setting or write
    // never reaches the inner backend; a failed read has taken the reply away.
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

private:
    // The status a rule imposes on this call, or VI_SUCCESS to pass it on.
    ViStatus Injected(Call call, const std::string& text);

    std::unique_ptr<visa::Backend> inner_;
    std::vector<Rule> rules_;
    std::vector<int> seen_;
    std::vector<Attempt> writes_;
    std::string lastWrite_;
};
