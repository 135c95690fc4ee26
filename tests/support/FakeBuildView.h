#pragma once

#include "pack/build/makePack.h"

#include <QStringList>
#include <functional>

// Stands in for the window during a build: remembers the captions shown,
// hands each to onCaption, and asks to cancel when cancel is set.
class FakeBuildView final : public BuildView
{
public:
    void ShowProgress(qint16, const QString& caption) override
    {
        captions << caption;
        if (onCaption)
            onCaption(caption);
    }
    void DoEvents() override {}
    bool CancelRequested() const override { return cancel; }

    QStringList captions;
    bool cancel = false;
    std::function<void(const QString&)> onCaption;
};
