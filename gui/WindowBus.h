#pragma once
// One bus for the whole program: a handler that changed shared state emits
// changed(); start-up connects it to every window's SyncFromState().

#include <QObject>

namespace sonavir {

class WindowBus : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
signals:
    void changed();
};

}  // namespace sonavir
