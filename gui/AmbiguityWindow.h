#pragma once
// "Функция неопределенности": the ambiguity map of the probe now set against
// the matched filter's reference, its cuts and measures, a readout under the
// cursor, a wideband option and saving as a picture. A window of its own; the
// map is worked out on a worker thread (gui/WorkWatcher.h) whenever the
// window opens or what the map reads changes, with its progress and a Stop.
// The logic is model/AmbiguityStudy's.

#include <QString>
#include <QWidget>
#include <functional>
#include <optional>

#include "display/PictureFiles.h"
#include "gui/WorkWatcher.h"
#include "model/AmbiguityStudy.h"
#include "model/MainState.h"

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace sonavir {

// Shows the view's bitmap at its size and passes the mouse on.
class AmbiguityImageWidget : public QWidget {
public:
    AmbiguityImageWidget(const AmbiguityView& view, QWidget* parent);
    std::function<void(QPoint)> onMouseMove;
    std::function<void()> onLeave;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    const AmbiguityView& view_;
};

class AmbiguityWindow : public QWidget {
    Q_OBJECT
public:
    explicit AmbiguityWindow(MainState& main, QWidget* parent = nullptr);
    ~AmbiguityWindow() override;

    // After any change of the shared state: a new map when what it reads has
    // changed (while the window is shown), new colours at once.
    void SyncFromState();
    // A new map of the parameters as they are now.
    void Recompute();
    bool Computing() const { return work_.Running(); }
    // Serves the event loop until the map in progress has been shown.
    void WaitForRun();
    // Stops the map in progress; the picture shown stays.
    void StopItemClick();
    // The request the next map would be made from.
    AmbiguityRequest Request() const;
    const AmbiguityView& View() const { return view_; }

    // A seam for tests: given each map's control before it starts.
    std::function<void(RunControl&)> runSeam;
    // The file chooser of saving; tests replace it (as the main window's).
    std::function<QString(const QString& lastName, QString& filter)> chooseSaveFile;
    QString lastSaveName, lastSaveFilter;
    void SaveItemClick();
    void SaveToFile(const QString& chosenName, PictureFormat format);

    QCheckBox* WidebandCheckBox;  // "Широкополосная"
    QPushButton* SaveButton;      // "Сохранить..."
    QPushButton* StopButton;      // "Стоп"
    QProgressBar* RunProgressBar;
    AmbiguityImageWidget* MapImage;
    QLabel* ReadoutLabel;
    QLabel* MessageLabel;  // why there is no map, or hidden

    static constexpr int kProgressDelayMs = 300;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void ShowProgress(const RunControl& control);
    void Finish(bool stopped);
    void ShowReadout(std::optional<QPoint> at);

    MainState& main_;
    AmbiguityView view_;
    AmbiguityResult pending_;  // written by the worker, read once it has returned
    std::optional<AmbiguityRequest> lastRequest_;  // of the last map started
    PictureSettings lastSettings_;                  // as the view was last drawn
    WorkWatcher work_;  // after what it writes: it waits for the worker as it goes
    QTimer* followTimer_ = nullptr;  // a change starts a map a moment later
};

}  // namespace sonavir
