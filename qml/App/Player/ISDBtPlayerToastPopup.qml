import QtQuick 2.6
import "../"

// The live-TV screen's own toast stack (same rules as the system toasts).
ISDBtSystemToastPopup {
}
