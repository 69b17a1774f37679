<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>StringInfo</name>
    <message>
        <source>STR_ACC_ON_OPERATION_SETTING</source>
        <translation>Operation at ACC ON</translation>
    </message>
    <message>
        <source>STR_ACQUIRING_INFORMATION_MSG</source>
        <translation>Acquiring information...</translation>
    </message>
    <message>
        <source>STR_ADDITIONAL_SCAN</source>
        <translation>Additional Scan</translation>
    </message>
    <message>
        <source>STR_ADDITIONAL_SCAN_QUESTION</source>
        <translation>Do you want to run an additional scan?</translation>
    </message>
    <message>
        <source>STR_AFFILIATED_STATION</source>
        <translation>Stan. Affiliated</translation>
    </message>
    <message>
        <source>STR_ALL_SCAN</source>
        <translation>All Scan</translation>
    </message>
    <message>
        <source>STR_ALL_SCAN_QUESTION</source>
        <translation>Do you want to scan all channels again?</translation>
    </message>
    <message>
        <source>STR_ALWAYS_DISPLAYED</source>
        <translation>Always displayed</translation>
    </message>
    <message>
        <source>STR_ALWAYS_OFF</source>
        <translation>Always off</translation>
    </message>
    <message>
        <source>STR_ALWAYS_ON</source>
        <translation>Always on</translation>
    </message>
    <message>
        <source>STR_ANTENNA_LEVEL</source>
        <translation>Antenna level</translation>
    </message>
    <message>
        <source>STR_ANTENNA_SHORT_MSG</source>
        <translation>The antenna may be short-circuited.</translation>
    </message>
    <message>
        <source>STR_ANTENNA_SHORT_MSG_01</source>
        <translation>The antenna cable may be short-circuited.</translation>
    </message>
    <message>
        <source>STR_ANTENNA_SHORT_MSG_02</source>
        <translation>Turn the power off and check the antenna.</translation>
    </message>
    <message>
        <source>STR_AREA</source>
        <translation>Area</translation>
    </message>
    <message>
        <source>STR_ASSIGN_CHANNEL_TO_BUTTON_MSG</source>
        <translation>Assign a channel to the button.</translation>
    </message>
    <message>
        <source>STR_AUDIO</source>
        <translation>Audio</translation>
    </message>
    <message>
        <source>STR_AUTO</source>
        <translation>Auto Switch</translation>
    </message>
    <message>
        <source>STR_AUTO_12SEG_PRIORITY</source>
        <translation>Auto (Full Seg priority)</translation>
    </message>
    <message>
        <source>STR_AUTO_1SEG_PRIORITY</source>
        <translation>Auto (One Seg priority)</translation>
    </message>
    <message>
        <source>STR_AUTO_RESTART_MSG</source>
        <translation>The receiver restarts automatically.</translation>
    </message>
    <message>
        <source>STR_AUTO_RESTART_WHEN_SETTINGS_CHANGED_MSG</source>
        <translation>The receiver restarts when the setting is changed.</translation>
    </message>
    <message>
        <source>STR_AUTO_STATION_SEARCH_SETTINGS</source>
        <translation>Auto Station Search</translation>
    </message>
    <message>
        <source>STR_BACK</source>
        <translation>Back</translation>
    </message>
    <message>
        <source>STR_BACKGROUND_SEARCH_OFF</source>
        <translation>Background search off</translation>
    </message>
    <message>
        <source>STR_BACKGROUND_SEARCH_ON</source>
        <translation>Background search on</translation>
    </message>
    <message>
        <source>STR_BG_SEARCH_SETTING</source>
        <translation>Background Search</translation>
    </message>
    <message>
        <source>STR_BG_SEARCH_SETTING_ALL_CHANNEL</source>
        <translation>All channels</translation>
    </message>
    <message>
        <source>STR_BG_SEARCH_SETTING_ONLY_CURRENT_CHANNEL</source>
        <translation>Current channel only</translation>
    </message>
    <message>
        <source>STR_BILINGUAL_SETTINGS</source>
        <translation>Bilingual</translation>
    </message>
    <message>
        <source>STR_BUTTON</source>
        <translation>Button</translation>
    </message>
    <message>
        <source>STR_CANNOT_BE_USED_WHILE_SCANNING</source>
        <translation>It cannot be used while scanning.</translation>
    </message>
    <message>
        <source>STR_CHANGE_ES1_AUDIO_MSG</source>
        <translation>Audio 1</translation>
    </message>
    <message>
        <source>STR_CHANGE_ES2_AUDIO_MSG</source>
        <translation>Audio 2</translation>
    </message>
    <message>
        <source>STR_CHANGE_ES3_AUDIO_MSG</source>
        <translation>Audio 3</translation>
    </message>
    <message>
        <source>STR_CHANGE_MAIN_AUDIO_MSG</source>
        <translation>Main audio</translation>
    </message>
    <message>
        <source>STR_CHANGE_MAIN_SUB_AUDIO_MSG</source>
        <translation>Main/Sub audio</translation>
    </message>
    <message>
        <source>STR_CHANGE_RESOLUTION_QUESTION</source>
        <translation>Do you want to change the output resolution?</translation>
    </message>
    <message>
        <source>STR_CHANGE_SUB_AUDIO_MSG</source>
        <translation>Sub audio</translation>
    </message>
    <message>
        <source>STR_CHANGE_VIDEO_DELAY_OUTPUT_SETTINGS_MSG_01</source>
        <translation>The video delay was changed.</translation>
    </message>
    <message>
        <source>STR_CHANGE_VIDEO_DELAY_OUTPUT_SETTINGS_MSG_02</source>
        <translation>Please wait a moment.</translation>
    </message>
    <message>
        <source>STR_CHANGE_VIDEO_DELAY_OUTPUT_SETTINGS_QUESTION</source>
        <translation>Do you want to change the video delay?</translation>
    </message>
    <message>
        <source>STR_CHANGE_VIDEO_OUTPUT_SETTINGS_QUESTION</source>
        <translation>Do you want to change the video output?</translation>
    </message>
    <message>
        <source>STR_CHANNEL</source>
        <translation>Channel</translation>
    </message>
    <message>
        <source>STR_CHANNEL_CHANGING</source>
        <translation>Changing channel...</translation>
    </message>
    <message>
        <source>STR_CHANNEL_CHANGING_02</source>
        <translation>Changing channel</translation>
    </message>
    <message>
        <source>STR_CHANNEL_LIST</source>
        <translation>Channel List</translation>
    </message>
    <message>
        <source>STR_CHANNEL_RECEIVING</source>
        <translation>Receiving...</translation>
    </message>
    <message>
        <source>STR_CHANNEL_SETTINGS</source>
        <translation>Channel Settings</translation>
    </message>
    <message>
        <source>STR_CHANNEL_SWITCHING</source>
        <translation>Switching...</translation>
    </message>
    <message>
        <source>STR_CHECK_ANTENNA_BEFORE_INITIAL_SCAN_MSG</source>
        <translation>Check the antenna before the initial scan.</translation>
    </message>
    <message>
        <source>STR_CHECK_ANTENNA_BEFORE_STARTING_MSG</source>
        <translation>Check the antenna connection before starting.</translation>
    </message>
    <message>
        <source>STR_CHECK_ANTENNA_MSG</source>
        <translation>Please check the antenna.</translation>
    </message>
    <message>
        <source>STR_CLOCK_DISPLAY_SETTINGS</source>
        <translation>Clock Display</translation>
    </message>
    <message>
        <source>STR_COPY_LOG_CONFIRM_MSG_01</source>
        <translation>DTV stops working while copying logs.</translation>
    </message>
    <message>
        <source>STR_COPY_LOG_CONFIRM_MSG_02</source>
        <translation>Do you want to copy the logs to the USB memory?</translation>
    </message>
    <message>
        <source>STR_DECISION</source>
        <translation>Decision</translation>
    </message>
    <message>
        <source>STR_DURING_CHANNEL_SCAN</source>
        <translation>During channel scan</translation>
    </message>
    <message>
        <source>STR_EVENT_RELAY</source>
        <translation>Event Relay</translation>
    </message>
    <message>
        <source>STR_FACTORY_RESET_COMPLETE_MSG</source>
        <translation>The settings were reset to the factory defaults.</translation>
    </message>
    <message>
        <source>STR_FACTORY_RESET_QUESTION</source>
        <translation>Do you want to reset all settings?</translation>
    </message>
    <message>
        <source>STR_FINISH</source>
        <translation>Finish</translation>
    </message>
    <message>
        <source>STR_FINISHED_MSG</source>
        <translation>Finished.</translation>
    </message>
    <message>
        <source>STR_FIXED_12SEG</source>
        <translation>Full Seg</translation>
    </message>
    <message>
        <source>STR_FIXED_1SEG</source>
        <translation>One Seg</translation>
    </message>
    <message>
        <source>STR_FREQUENCY</source>
        <translation>Frequency</translation>
    </message>
    <message>
        <source>STR_FRIDAY</source>
        <translation>Fri</translation>
    </message>
    <message>
        <source>STR_FULL_SCREEN</source>
        <translation>Full Screen</translation>
    </message>
    <message>
        <source>STR_HDMI_RESOLUTION</source>
        <translation>HDMI Resolution</translation>
    </message>
    <message>
        <source>STR_HDMI_RESOLUTION_CAUTION_MSG_01</source>
        <translation>This resolution is not supported by the display.</translation>
    </message>
    <message>
        <source>STR_HDMI_RESOLUTION_CAUTION_MSG_02</source>
        <translation>Check the display and the HDMI cable.</translation>
    </message>
    <message>
        <source>STR_HDMI_RESOLUTION_NOT_SUPPORTED</source>
        <translation>Not supported</translation>
    </message>
    <message>
        <source>STR_HDMI_SIGNAL</source>
        <translation>HDMI Signal</translation>
    </message>
    <message>
        <source>STR_HOME_INITIAL_SCAN</source>
        <translation>Initial Scan</translation>
    </message>
    <message>
        <source>STR_HOME_INITIAL_SCAN_QUESTION</source>
        <translation>Do you want to run the initial scan?</translation>
    </message>
    <message>
        <source>STR_HOME_LIST_REFRESH_SCAN</source>
        <translation>Channel List Refresh</translation>
    </message>
    <message>
        <source>STR_HOUR</source>
        <translation>Hour</translation>
    </message>
    <message>
        <source>STR_INITIALIZED_SCAN_AGAIN_MSG</source>
        <translation>The channels were reset. Please scan again.</translation>
    </message>
    <message>
        <source>STR_INITIALIZE_SETTINGS</source>
        <translation>Initialize Settings</translation>
    </message>
    <message>
        <source>STR_INITIAL_SCAN</source>
        <translation>Initial Scan</translation>
    </message>
    <message>
        <source>STR_ISDBT_TITLE</source>
        <translation>ISDB-T</translation>
    </message>
    <message>
        <source>STR_LANGUAGE_1</source>
        <translation>Language 1</translation>
    </message>
    <message>
        <source>STR_LANGUAGE_2</source>
        <translation>Language 2</translation>
    </message>
    <message>
        <source>STR_LIST_EMPTY_MSG</source>
        <translation>The list is empty.</translation>
    </message>
    <message>
        <source>STR_LOW_RECEPTION_LEVEL_MSG</source>
        <translation>The reception level is low.</translation>
    </message>
    <message>
        <source>STR_LOW_RECEPTION_LEVEL_MSG_01</source>
        <translation>Low reception level</translation>
    </message>
    <message>
        <source>STR_MAIN</source>
        <translation>Main</translation>
    </message>
    <message>
        <source>STR_MAIN_AUDIO</source>
        <translation>Main Audio</translation>
    </message>
    <message>
        <source>STR_MAIN_SUB</source>
        <translation>Main/Sub</translation>
    </message>
    <message>
        <source>STR_MINUTE</source>
        <translation>Minute</translation>
    </message>
    <message>
        <source>STR_MONDAY</source>
        <translation>Mon</translation>
    </message>
    <message>
        <source>STR_NO</source>
        <translation>No</translation>
    </message>
    <message>
        <source>STR_NO_12SEGM_MSG</source>
        <translation>Full Seg is not available; showing One Seg.</translation>
    </message>
    <message>
        <source>STR_NO_1SEG_MSG</source>
        <translation>One Seg is not available.</translation>
    </message>
    <message>
        <source>STR_NO_ASSIGNED_CHANNEL_MSG</source>
        <translation>No channel is assigned to this button.</translation>
    </message>
    <message>
        <source>STR_NO_AUDIO_MSG</source>
        <translation>There is no other audio.</translation>
    </message>
    <message>
        <source>STR_NO_CHANNEL_MSG</source>
        <translation>There is no channel.</translation>
    </message>
    <message>
        <source>STR_NO_RECEIVABLE_CHANNEL_MSG</source>
        <translation>No channel can be received.</translation>
    </message>
    <message>
        <source>STR_OFF</source>
        <translation>Off</translation>
    </message>
    <message>
        <source>STR_OFF_S</source>
        <translation>Off</translation>
    </message>
    <message>
        <source>STR_ON</source>
        <translation>On</translation>
    </message>
    <message>
        <source>STR_ONAIR</source>
        <translation>On Air</translation>
    </message>
    <message>
        <source>STR_OTHERS</source>
        <translation>Others</translation>
    </message>
    <message>
        <source>STR_PLEASE_WAIT_MSG</source>
        <translation>Please wait.</translation>
    </message>
    <message>
        <source>STR_POWER_OFF_MSG</source>
        <translation>Powering off...</translation>
    </message>
    <message>
        <source>STR_PREPARING</source>
        <translation>Preparing...</translation>
    </message>
    <message>
        <source>STR_PRESS_TO_EXIT_MSG</source>
        <translation>Press again to stop</translation>
    </message>
    <message>
        <source>STR_PROGRAM_DETAILS</source>
        <translation>Program Details</translation>
    </message>
    <message>
        <source>STR_PROGRAM_LIST</source>
        <translation>Program Guide</translation>
    </message>
    <message>
        <source>STR_PROGRAM_NAME</source>
        <translation>Program</translation>
    </message>
    <message>
        <source>STR_REBOOT_MSG</source>
        <translation>The receiver restarts.</translation>
    </message>
    <message>
        <source>STR_RECEIVE_MODE</source>
        <translation>Reception Mode</translation>
    </message>
    <message>
        <source>STR_RECEIVE_OPERATION_SETTING</source>
        <translation>Reception</translation>
    </message>
    <message>
        <source>STR_RELAY_AFFILIATED_STATION</source>
        <translation>Relay/Affiliated</translation>
    </message>
    <message>
        <source>STR_RELAY_STATION</source>
        <translation>Stan. Relay</translation>
    </message>
    <message>
        <source>STR_RELAY_STATION_ONLY</source>
        <translation>Relay stations only</translation>
    </message>
    <message>
        <source>STR_SATURDAY</source>
        <translation>Sat</translation>
    </message>
    <message>
        <source>STR_SAVE_CHANNEL_UP_TO_END_POINT_MSG</source>
        <translation>Channels found so far are saved.</translation>
    </message>
    <message>
        <source>STR_SCREEN_RATIO_SETTING</source>
        <translation>Screen Ratio</translation>
    </message>
    <message>
        <source>STR_SCREEN_SCALE_SETTING</source>
        <translation>Screen Scale</translation>
    </message>
    <message>
        <source>STR_SEARCHING</source>
        <translation>Searching</translation>
    </message>
    <message>
        <source>STR_SECONDS</source>
        <translation>sec</translation>
    </message>
    <message>
        <source>STR_SELECT</source>
        <translation>Select</translation>
    </message>
    <message>
        <source>STR_SETTINGS</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>STR_SIGNAL_STRENGTH</source>
        <translation>Signal Strength</translation>
    </message>
    <message>
        <source>STR_SOUND_MULTIPLEX_SETTINGS</source>
        <translation>Audio Select</translation>
    </message>
    <message>
        <source>STR_START</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>STR_START_INITIAL_SCAN_MSG</source>
        <translation>Start the initial scan to find the channels.</translation>
    </message>
    <message>
        <source>STR_STATION</source>
        <translation>Station</translation>
    </message>
    <message>
        <source>STR_STATION_SEARCH</source>
        <translation>Station Search</translation>
    </message>
    <message>
        <source>STR_STATION_SEARCH_OPERATION_SETTINGS</source>
        <translation>Station Search Operation</translation>
    </message>
    <message>
        <source>STR_STRONG</source>
        <translation>Strong</translation>
    </message>
    <message>
        <source>STR_SUB</source>
        <translation>Sub</translation>
    </message>
    <message>
        <source>STR_SUBTITLE_SETTINGS</source>
        <translation>Captions</translation>
    </message>
    <message>
        <source>STR_SUB_AUDIO</source>
        <translation>Sub Audio</translation>
    </message>
    <message>
        <source>STR_SUNDAY</source>
        <translation>Sun</translation>
    </message>
    <message>
        <source>STR_SUPER_IMPOSE_SETTING</source>
        <translation>Superimpose</translation>
    </message>
    <message>
        <source>STR_SWITCHE_SPECIFIED_DATE_TIME</source>
        <translation>Jump to Date and Time</translation>
    </message>
    <message>
        <source>STR_SWITCHE_SPECIFIED_DATE_TIME_MSG</source>
        <translation>Choose the day and hour to show.</translation>
    </message>
    <message>
        <source>STR_SWITCHING</source>
        <translation>Switching</translation>
    </message>
    <message>
        <source>STR_SWITCH_EWS_MSG</source>
        <translation>Switched to the emergency broadcast.</translation>
    </message>
    <message>
        <source>STR_SWITCH_EWS_QUESTION_MSG</source>
        <translation>Do you want to watch the emergency broadcast?</translation>
    </message>
    <message>
        <source>STR_THURSDAY</source>
        <translation>Thu</translation>
    </message>
    <message>
        <source>STR_TIME</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>STR_TODAY</source>
        <translation>Today</translation>
    </message>
    <message>
        <source>STR_TOMORROW</source>
        <translation>Tomorrow</translation>
    </message>
    <message>
        <source>STR_TO_QUIT_PUSH_BUTTON_01_MSG</source>
        <translation>To quit, press the</translation>
    </message>
    <message>
        <source>STR_TO_QUIT_PUSH_BUTTON_02_MSG</source>
        <translation> button again</translation>
    </message>
    <message>
        <source>STR_TO_QUIT_PUSH_BUTTON_MSG</source>
        <translation>To quit, press the button.</translation>
    </message>
    <message>
        <source>STR_TUESDAY</source>
        <translation>Tue</translation>
    </message>
    <message>
        <source>STR_VERSION</source>
        <translation>Version</translation>
    </message>
    <message>
        <source>STR_VIDEO_DELAY_OUTPUT_SETTING</source>
        <translation>Video Delay</translation>
    </message>
    <message>
        <source>STR_VOLUME_SETTING</source>
        <translation>Volume</translation>
    </message>
    <message>
        <source>STR_WATCHING_SETTINGS</source>
        <translation>Viewing Settings</translation>
    </message>
    <message>
        <source>STR_WEAK</source>
        <translation>Weak</translation>
    </message>
    <message>
        <source>STR_WEAK_NOT_RECEIVED_MSG</source>
        <translation>The signal is too weak to receive.</translation>
    </message>
    <message>
        <source>STR_WEDNESDAY</source>
        <translation>Wed</translation>
    </message>
    <message>
        <source>STR_WHILE_COPY_LOG</source>
        <translation>Copying logs...</translation>
    </message>
    <message>
        <source>STR_WITH_SCREEN_DISPLAY</source>
        <translation>With screen display</translation>
    </message>
    <message>
        <source>STR_YES</source>
        <translation>Yes</translation>
    </message>
    <message>
        <source>STR_YESTERDAY</source>
        <translation>Yesterday</translation>
    </message>
</context>
</TS>
