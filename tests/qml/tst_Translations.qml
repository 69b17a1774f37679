import QtQuick 2.6
import QtTest 1.1
import "../../qml/Common"

// The string table in the three languages: every key has a text of its own,
// a language change re-assigns every property, a missing translation shows
// the key.
Item {
    id: idTop
    width: 200
    height: 200

    StringInfo { id: idStrings }

    TestCase {
        name: "Translations"
        when: windowShown

        function cleanupTestCase() {
            testTranslator.remove()
        }

        // Switches the language as the engine does: translator first, then
        // the settings store's announcement.
        function switchTo(language) {
            verify(testTranslator.install(language), "translation " + language + " loads")
            ISDBtData.nLanguage = (language + 1) % 3
            ISDBtData.nLanguage = language
        }

        function texts() {
            var out = {}
            for (var name in idStrings) {
                if (typeof idStrings[name] === "string" && (name.indexOf("strApp_") === 0 || name.indexOf("strMsg_") === 0))
                    out[name] = idStrings[name]
            }
            return out
        }
        function keyOf(name) {
            return name === "strApp_ISDBT_ITLE" ? "STR_ISDBT_TITLE" : "STR_" + name.substring(7)
        }

        function test_everyKeyIsTranslatedInEachLanguage_data() {
            return [
                { tag: "Japanese", language: 0, yes: "はい", weekday: "月" },
                { tag: "English", language: 1, yes: "Yes", weekday: "Mon" },
                { tag: "Korean", language: 2, yes: "예", weekday: "월" },
            ]
        }
        function test_everyKeyIsTranslatedInEachLanguage(data) {
            switchTo(data.language)
            compare(idStrings.strApp_YES, data.yes)
            compare(idStrings.strApp_MONDAY, data.weekday)
            var all = texts()
            var count = 0
            for (var name in all) {
                ++count
                verify(all[name] !== keyOf(name), name + " has no " + data.tag + " text")
            }
            compare(count, 161)
        }

        function test_quotedEnglishTexts() {
            switchTo(1)
            compare(idStrings.strApp_ISDBT_ITLE, "ISDB-T")
            compare(idStrings.strApp_FIXED_12SEG, "Full Seg")
            compare(idStrings.strApp_FIXED_1SEG, "One Seg")
            compare(idStrings.strApp_AUTO, "Auto Switch")
            compare(idStrings.strApp_AFFILIATED_STATION, "Stan. Affiliated")
            compare(idStrings.strApp_RELAY_STATION, "Stan. Relay")
            compare(idStrings.strMsg_ANTENNA_SHORT_MSG, "The antenna may be short-circuited.")
            compare(idStrings.strApp_CANNOT_BE_USED_WHILE_SCANNING, "It cannot be used while scanning.")
            compare(idStrings.strMsg_SWITCH_EWS_QUESTION_MSG, "Do you want to watch the emergency broadcast?")
            compare(idStrings.strMsg_COPY_LOG_CONFIRM_MSG_01, "DTV stops working while copying logs.")
            var days = [idStrings.strApp_MONDAY, idStrings.strApp_TUESDAY, idStrings.strApp_WEDNESDAY,
                        idStrings.strApp_THURSDAY, idStrings.strApp_FRIDAY, idStrings.strApp_SATURDAY,
                        idStrings.strApp_SUNDAY]
            compare(days, ["Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"])
        }

        function test_languageChangeReassignsEveryText() {
            switchTo(0)
            var japanese = texts()
            switchTo(2)
            var korean = texts()
            var changed = 0
            for (var name in japanese)
                if (japanese[name] !== korean[name])
                    ++changed
            verify(changed > 150, "texts re-assigned: " + changed)
        }

        function test_missingTranslationShowsTheKey() {
            switchTo(1)
            testTranslator.remove()
            idStrings.retranslateUi()
            compare(idStrings.strApp_YES, "STR_YES")
            compare(idStrings.strApp_ISDBT_ITLE, "STR_ISDBT_TITLE")
        }
    }
}
