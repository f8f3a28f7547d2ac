#include "core/product.h"

#include "core/log.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/run_record.h"

QTVProduct::QTVProduct(Remove::Log* sink)
    : log(sink)
{
}

QTVProduct::~QTVProduct() = default;

std::u16string NameOrDefault(const OptionalText& displayName, std::u16string_view defaultName)
{
    return displayName ? *displayName : std::u16string(defaultName);
}

void QTVProduct::runDetection()
{
    detectionError_.reset();
    const RunRecordScope record;
    try {
        detect();
    } catch (...) {
        detectionError_ = DescribeCurrentExceptionW();
        writeLine(log, u"Detection incomplete: " + *detectionError_);
        throw;
    }
    if (record.firstProbeError()) {
        detectionError_ = u"unable to look at " + *record.firstProbeError();
        writeLine(log, u"Detection incomplete: " + *detectionError_);
    }
}

bool QTVProduct::createResponseFile(const std::u16string& path) const
{
    return writeSilentResponseFile(path, u"Creating install shield response file...");
}

bool QTVProduct::writeSilentResponseFile(const std::u16string& path, std::u16string_view opening) const
{
    static constexpr char kResponse[] = "[InstallShield Silent]\r\n"
                                        "Version=v7.00\r\n"
                                        "File=Response File\r\n"
                                        "[File Transfer]\r\n"
                                        "OverwrittenReadOnly=NoToAll\r\n";
    log->write(opening);
    try {
        WriteFileReplacing(path, kResponse);
    } catch (...) {
        writeLine(log, DescribeCurrentExceptionW());
        return false;
    }
    writeLine(log, u"done");
    return true;
}
