import QtQuick
import Nolt.Share

// The form as the share window shows it, with the controller's actions. The controller may be
// gone by the time an action runs; the action then does nothing.
ShareView {
    required property ShareViewController controller

    focus: true
    onCancel: if (controller) controller.cancel()
    onSave: if (controller) controller.save()
}
