#pragma once

#include <string>
#include <utility>

/// What an operation of core came to.
enum class EStatus {
    NotRun,  ///< the operation has not run (yet)
    Ok,      ///< it succeeded
    Refused, ///< its input was refused: a value, a text, a file to read or its content
    Failed,  ///< a file could not be written: the destination, the file system, or cancelled
};

/// The outcome of every operation of core that can fail: a code that starts as "not run", and
/// the message for the user when it is not Ok.
struct CStatus {
    EStatus m_code = EStatus::NotRun;
    std::string m_strMessage = "not called"; ///< why not, naming the file or field; empty when Ok

    bool Ok() const { return m_code == EStatus::Ok; }

    static CStatus Success() { return {EStatus::Ok, {}}; }
    static CStatus Refusal(std::string strMessage) {
        return {EStatus::Refused, std::move(strMessage)};
    }
    static CStatus Failure(std::string strMessage) {
        return {EStatus::Failed, std::move(strMessage)};
    }
};
