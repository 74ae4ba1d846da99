#pragma once
// The recording core with its graph and file list views, loaded as the main window loads them.

#include "RecorderFixture.h"
#include "ui/recording/RecordingViews.h"

namespace kestro::test {

class ViewsTest : public RecorderTest {
protected:
    std::unique_ptr<RecordingViews> views;

    void SetUp() override {
        RecorderTest::SetUp();
        views = std::make_unique<RecordingViews>(*rec);
        views->InitFileList();
        views->initGraph();
        views->ScaleYAxis();
        views->CalculateGraphStartTime();
        views->ScaleTimeAxis();
    }
};

}  // namespace kestro::test
