<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ko_KR">
<context>
    <name>StringInfo</name>
    <message>
        <source>STR_ACC_ON_OPERATION_SETTING</source>
        <translation>ACC ON 시 동작</translation>
    </message>
    <message>
        <source>STR_ACQUIRING_INFORMATION_MSG</source>
        <translation>정보를 가져오는 중입니다...</translation>
    </message>
    <message>
        <source>STR_ADDITIONAL_SCAN</source>
        <translation>추가 스캔</translation>
    </message>
    <message>
        <source>STR_ADDITIONAL_SCAN_QUESTION</source>
        <translation>추가 스캔을 실행하시겠습니까?</translation>
    </message>
    <message>
        <source>STR_AFFILIATED_STATION</source>
        <translation>계열국</translation>
    </message>
    <message>
        <source>STR_ALL_SCAN</source>
        <translation>전체 스캔</translation>
    </message>
    <message>
        <source>STR_ALL_SCAN_QUESTION</source>
        <translation>모든 채널을 다시 스캔하시겠습니까?</translation>
    </message>
    <message>
        <source>STR_ALWAYS_DISPLAYED</source>
        <translation>항상 표시</translation>
    </message>
    <message>
        <source>STR_ALWAYS_OFF</source>
        <translation>항상 끔</translation>
    </message>
    <message>
        <source>STR_ALWAYS_ON</source>
        <translation>항상 켬</translation>
    </message>
    <message>
        <source>STR_ANTENNA_LEVEL</source>
        <translation>안테나 레벨</translation>
    </message>
    <message>
        <source>STR_ANTENNA_SHORT_MSG</source>
        <translation>안테나가 단락되었을 수 있습니다.</translation>
    </message>
    <message>
        <source>STR_ANTENNA_SHORT_MSG_01</source>
        <translation>안테나 케이블이 단락되었을 수 있습니다.</translation>
    </message>
    <message>
        <source>STR_ANTENNA_SHORT_MSG_02</source>
        <translation>전원을 끄고 안테나를 확인하십시오.</translation>
    </message>
    <message>
        <source>STR_AREA</source>
        <translation>지역</translation>
    </message>
    <message>
        <source>STR_ASSIGN_CHANNEL_TO_BUTTON_MSG</source>
        <translation>버튼에 채널을 지정하십시오.</translation>
    </message>
    <message>
        <source>STR_AUDIO</source>
        <translation>음성</translation>
    </message>
    <message>
        <source>STR_AUTO</source>
        <translation>자동 전환</translation>
    </message>
    <message>
        <source>STR_AUTO_12SEG_PRIORITY</source>
        <translation>자동 (풀세그 우선)</translation>
    </message>
    <message>
        <source>STR_AUTO_1SEG_PRIORITY</source>
        <translation>자동 (원세그 우선)</translation>
    </message>
    <message>
        <source>STR_AUTO_RESTART_MSG</source>
        <translation>자동으로 다시 시작합니다.</translation>
    </message>
    <message>
        <source>STR_AUTO_RESTART_WHEN_SETTINGS_CHANGED_MSG</source>
        <translation>설정을 변경하면 다시 시작합니다.</translation>
    </message>
    <message>
        <source>STR_AUTO_STATION_SEARCH_SETTINGS</source>
        <translation>자동 방송국 검색</translation>
    </message>
    <message>
        <source>STR_BACK</source>
        <translation>뒤로</translation>
    </message>
    <message>
        <source>STR_BACKGROUND_SEARCH_OFF</source>
        <translation>백그라운드 검색 끔</translation>
    </message>
    <message>
        <source>STR_BACKGROUND_SEARCH_ON</source>
        <translation>백그라운드 검색 켬</translation>
    </message>
    <message>
        <source>STR_BG_SEARCH_SETTING</source>
        <translation>백그라운드 검색</translation>
    </message>
    <message>
        <source>STR_BG_SEARCH_SETTING_ALL_CHANNEL</source>
        <translation>모든 채널</translation>
    </message>
    <message>
        <source>STR_BG_SEARCH_SETTING_ONLY_CURRENT_CHANNEL</source>
        <translation>현재 채널만</translation>
    </message>
    <message>
        <source>STR_BILINGUAL_SETTINGS</source>
        <translation>이중 음성</translation>
    </message>
    <message>
        <source>STR_BUTTON</source>
        <translation>버튼</translation>
    </message>
    <message>
        <source>STR_CANNOT_BE_USED_WHILE_SCANNING</source>
        <translation>스캔 중에는 사용할 수 없습니다.</translation>
    </message>
    <message>
        <source>STR_CHANGE_ES1_AUDIO_MSG</source>
        <translation>음성 1로 전환했습니다</translation>
    </message>
    <message>
        <source>STR_CHANGE_ES2_AUDIO_MSG</source>
        <translation>음성 2로 전환했습니다</translation>
    </message>
    <message>
        <source>STR_CHANGE_ES3_AUDIO_MSG</source>
        <translation>음성 3으로 전환했습니다</translation>
    </message>
    <message>
        <source>STR_CHANGE_MAIN_AUDIO_MSG</source>
        <translation>주음성으로 전환했습니다</translation>
    </message>
    <message>
        <source>STR_CHANGE_MAIN_SUB_AUDIO_MSG</source>
        <translation>주/부음성으로 전환했습니다</translation>
    </message>
    <message>
        <source>STR_CHANGE_RESOLUTION_QUESTION</source>
        <translation>출력 해상도를 변경하시겠습니까?</translation>
    </message>
    <message>
        <source>STR_CHANGE_SUB_AUDIO_MSG</source>
        <translation>부음성으로 전환했습니다</translation>
    </message>
    <message>
        <source>STR_CHANGE_VIDEO_DELAY_OUTPUT_SETTINGS_MSG_01</source>
        <translation>영상 지연을 변경했습니다.</translation>
    </message>
    <message>
        <source>STR_CHANGE_VIDEO_DELAY_OUTPUT_SETTINGS_MSG_02</source>
        <translation>잠시 기다려 주십시오.</translation>
    </message>
    <message>
        <source>STR_CHANGE_VIDEO_DELAY_OUTPUT_SETTINGS_QUESTION</source>
        <translation>영상 지연을 변경하시겠습니까?</translation>
    </message>
    <message>
        <source>STR_CHANGE_VIDEO_OUTPUT_SETTINGS_QUESTION</source>
        <translation>영상 출력을 변경하시겠습니까?</translation>
    </message>
    <message>
        <source>STR_CHANNEL</source>
        <translation>채널</translation>
    </message>
    <message>
        <source>STR_CHANNEL_CHANGING</source>
        <translation>채널 전환 중...</translation>
    </message>
    <message>
        <source>STR_CHANNEL_CHANGING_02</source>
        <translation>채널을 전환하고 있습니다</translation>
    </message>
    <message>
        <source>STR_CHANNEL_LIST</source>
        <translation>채널 목록</translation>
    </message>
    <message>
        <source>STR_CHANNEL_RECEIVING</source>
        <translation>수신 중...</translation>
    </message>
    <message>
        <source>STR_CHANNEL_SETTINGS</source>
        <translation>채널 설정</translation>
    </message>
    <message>
        <source>STR_CHANNEL_SWITCHING</source>
        <translation>전환 중...</translation>
    </message>
    <message>
        <source>STR_CHECK_ANTENNA_BEFORE_INITIAL_SCAN_MSG</source>
        <translation>초기 스캔 전에 안테나를 확인하십시오.</translation>
    </message>
    <message>
        <source>STR_CHECK_ANTENNA_BEFORE_STARTING_MSG</source>
        <translation>시작하기 전에 안테나 연결을 확인하십시오.</translation>
    </message>
    <message>
        <source>STR_CHECK_ANTENNA_MSG</source>
        <translation>안테나를 확인하십시오.</translation>
    </message>
    <message>
        <source>STR_CLOCK_DISPLAY_SETTINGS</source>
        <translation>시계 표시</translation>
    </message>
    <message>
        <source>STR_COPY_LOG_CONFIRM_MSG_01</source>
        <translation>로그를 복사하는 동안 TV가 멈춥니다.</translation>
    </message>
    <message>
        <source>STR_COPY_LOG_CONFIRM_MSG_02</source>
        <translation>로그를 USB 메모리에 복사하시겠습니까?</translation>
    </message>
    <message>
        <source>STR_DECISION</source>
        <translation>결정</translation>
    </message>
    <message>
        <source>STR_DURING_CHANNEL_SCAN</source>
        <translation>채널 스캔 중</translation>
    </message>
    <message>
        <source>STR_EVENT_RELAY</source>
        <translation>이벤트 릴레이</translation>
    </message>
    <message>
        <source>STR_FACTORY_RESET_COMPLETE_MSG</source>
        <translation>공장 출하 설정으로 초기화했습니다.</translation>
    </message>
    <message>
        <source>STR_FACTORY_RESET_QUESTION</source>
        <translation>모든 설정을 초기화하시겠습니까?</translation>
    </message>
    <message>
        <source>STR_FINISH</source>
        <translation>종료</translation>
    </message>
    <message>
        <source>STR_FINISHED_MSG</source>
        <translation>완료되었습니다.</translation>
    </message>
    <message>
        <source>STR_FIXED_12SEG</source>
        <translation>풀세그</translation>
    </message>
    <message>
        <source>STR_FIXED_1SEG</source>
        <translation>원세그</translation>
    </message>
    <message>
        <source>STR_FREQUENCY</source>
        <translation>주파수</translation>
    </message>
    <message>
        <source>STR_FRIDAY</source>
        <translation>금</translation>
    </message>
    <message>
        <source>STR_FULL_SCREEN</source>
        <translation>전체 화면</translation>
    </message>
    <message>
        <source>STR_HDMI_RESOLUTION</source>
        <translation>HDMI 해상도</translation>
    </message>
    <message>
        <source>STR_HDMI_RESOLUTION_CAUTION_MSG_01</source>
        <translation>이 해상도는 디스플레이가 지원하지 않습니다.</translation>
    </message>
    <message>
        <source>STR_HDMI_RESOLUTION_CAUTION_MSG_02</source>
        <translation>디스플레이와 HDMI 케이블을 확인하십시오.</translation>
    </message>
    <message>
        <source>STR_HDMI_RESOLUTION_NOT_SUPPORTED</source>
        <translation>지원 안 함</translation>
    </message>
    <message>
        <source>STR_HDMI_SIGNAL</source>
        <translation>HDMI 신호</translation>
    </message>
    <message>
        <source>STR_HOME_INITIAL_SCAN</source>
        <translation>초기 스캔</translation>
    </message>
    <message>
        <source>STR_HOME_INITIAL_SCAN_QUESTION</source>
        <translation>초기 스캔을 실행하시겠습니까?</translation>
    </message>
    <message>
        <source>STR_HOME_LIST_REFRESH_SCAN</source>
        <translation>채널 목록 갱신</translation>
    </message>
    <message>
        <source>STR_HOUR</source>
        <translation>시</translation>
    </message>
    <message>
        <source>STR_INITIALIZED_SCAN_AGAIN_MSG</source>
        <translation>채널을 초기화했습니다. 다시 스캔하십시오.</translation>
    </message>
    <message>
        <source>STR_INITIALIZE_SETTINGS</source>
        <translation>설정 초기화</translation>
    </message>
    <message>
        <source>STR_INITIAL_SCAN</source>
        <translation>초기 스캔</translation>
    </message>
    <message>
        <source>STR_ISDBT_TITLE</source>
        <translation>ISDB-T</translation>
    </message>
    <message>
        <source>STR_LANGUAGE_1</source>
        <translation>언어 1</translation>
    </message>
    <message>
        <source>STR_LANGUAGE_2</source>
        <translation>언어 2</translation>
    </message>
    <message>
        <source>STR_LIST_EMPTY_MSG</source>
        <translation>목록이 비어 있습니다.</translation>
    </message>
    <message>
        <source>STR_LOW_RECEPTION_LEVEL_MSG</source>
        <translation>수신 레벨이 낮습니다.</translation>
    </message>
    <message>
        <source>STR_LOW_RECEPTION_LEVEL_MSG_01</source>
        <translation>수신 레벨 저하 중</translation>
    </message>
    <message>
        <source>STR_MAIN</source>
        <translation>주</translation>
    </message>
    <message>
        <source>STR_MAIN_AUDIO</source>
        <translation>주음성</translation>
    </message>
    <message>
        <source>STR_MAIN_SUB</source>
        <translation>주/부</translation>
    </message>
    <message>
        <source>STR_MINUTE</source>
        <translation>분</translation>
    </message>
    <message>
        <source>STR_MONDAY</source>
        <translation>월</translation>
    </message>
    <message>
        <source>STR_NO</source>
        <translation>아니요</translation>
    </message>
    <message>
        <source>STR_NO_12SEGM_MSG</source>
        <translation>풀세그를 수신할 수 없어 원세그를 표시합니다.</translation>
    </message>
    <message>
        <source>STR_NO_1SEG_MSG</source>
        <translation>원세그를 수신할 수 없습니다.</translation>
    </message>
    <message>
        <source>STR_NO_ASSIGNED_CHANNEL_MSG</source>
        <translation>이 버튼에는 채널이 지정되지 않았습니다.</translation>
    </message>
    <message>
        <source>STR_NO_AUDIO_MSG</source>
        <translation>다른 음성이 없습니다.</translation>
    </message>
    <message>
        <source>STR_NO_CHANNEL_MSG</source>
        <translation>채널이 없습니다.</translation>
    </message>
    <message>
        <source>STR_NO_RECEIVABLE_CHANNEL_MSG</source>
        <translation>수신 가능한 채널이 없습니다.</translation>
    </message>
    <message>
        <source>STR_OFF</source>
        <translation>끔</translation>
    </message>
    <message>
        <source>STR_OFF_S</source>
        <translation>끔</translation>
    </message>
    <message>
        <source>STR_ON</source>
        <translation>켬</translation>
    </message>
    <message>
        <source>STR_ONAIR</source>
        <translation>방송 중</translation>
    </message>
    <message>
        <source>STR_OTHERS</source>
        <translation>기타</translation>
    </message>
    <message>
        <source>STR_PLEASE_WAIT_MSG</source>
        <translation>잠시 기다려 주십시오.</translation>
    </message>
    <message>
        <source>STR_POWER_OFF_MSG</source>
        <translation>전원을 끄는 중...</translation>
    </message>
    <message>
        <source>STR_PREPARING</source>
        <translation>준비 중...</translation>
    </message>
    <message>
        <source>STR_PRESS_TO_EXIT_MSG</source>
        <translation>다시 누르면 종료합니다</translation>
    </message>
    <message>
        <source>STR_PROGRAM_DETAILS</source>
        <translation>프로그램 상세</translation>
    </message>
    <message>
        <source>STR_PROGRAM_LIST</source>
        <translation>프로그램 편성표</translation>
    </message>
    <message>
        <source>STR_PROGRAM_NAME</source>
        <translation>프로그램명</translation>
    </message>
    <message>
        <source>STR_REBOOT_MSG</source>
        <translation>다시 시작합니다.</translation>
    </message>
    <message>
        <source>STR_RECEIVE_MODE</source>
        <translation>수신 모드</translation>
    </message>
    <message>
        <source>STR_RECEIVE_OPERATION_SETTING</source>
        <translation>수신 설정</translation>
    </message>
    <message>
        <source>STR_RELAY_AFFILIATED_STATION</source>
        <translation>중계국/계열국</translation>
    </message>
    <message>
        <source>STR_RELAY_STATION</source>
        <translation>중계국</translation>
    </message>
    <message>
        <source>STR_RELAY_STATION_ONLY</source>
        <translation>중계국만</translation>
    </message>
    <message>
        <source>STR_SATURDAY</source>
        <translation>토</translation>
    </message>
    <message>
        <source>STR_SAVE_CHANNEL_UP_TO_END_POINT_MSG</source>
        <translation>종료 시점까지의 채널을 저장합니다.</translation>
    </message>
    <message>
        <source>STR_SCREEN_RATIO_SETTING</source>
        <translation>화면 비율</translation>
    </message>
    <message>
        <source>STR_SCREEN_SCALE_SETTING</source>
        <translation>화면 크기</translation>
    </message>
    <message>
        <source>STR_SEARCHING</source>
        <translation>검색 중</translation>
    </message>
    <message>
        <source>STR_SECONDS</source>
        <translation>초</translation>
    </message>
    <message>
        <source>STR_SELECT</source>
        <translation>선택</translation>
    </message>
    <message>
        <source>STR_SETTINGS</source>
        <translation>설정</translation>
    </message>
    <message>
        <source>STR_SIGNAL_STRENGTH</source>
        <translation>신호 강도</translation>
    </message>
    <message>
        <source>STR_SOUND_MULTIPLEX_SETTINGS</source>
        <translation>음성 전환</translation>
    </message>
    <message>
        <source>STR_START</source>
        <translation>시작</translation>
    </message>
    <message>
        <source>STR_START_INITIAL_SCAN_MSG</source>
        <translation>초기 스캔을 시작하여 채널을 찾습니다.</translation>
    </message>
    <message>
        <source>STR_STATION</source>
        <translation>방송국</translation>
    </message>
    <message>
        <source>STR_STATION_SEARCH</source>
        <translation>방송국 검색</translation>
    </message>
    <message>
        <source>STR_STATION_SEARCH_OPERATION_SETTINGS</source>
        <translation>방송국 검색 동작</translation>
    </message>
    <message>
        <source>STR_STRONG</source>
        <translation>강</translation>
    </message>
    <message>
        <source>STR_SUB</source>
        <translation>부</translation>
    </message>
    <message>
        <source>STR_SUBTITLE_SETTINGS</source>
        <translation>자막</translation>
    </message>
    <message>
        <source>STR_SUB_AUDIO</source>
        <translation>부음성</translation>
    </message>
    <message>
        <source>STR_SUNDAY</source>
        <translation>일</translation>
    </message>
    <message>
        <source>STR_SUPER_IMPOSE_SETTING</source>
        <translation>문자 슈퍼</translation>
    </message>
    <message>
        <source>STR_SWITCHE_SPECIFIED_DATE_TIME</source>
        <translation>날짜 시간 지정</translation>
    </message>
    <message>
        <source>STR_SWITCHE_SPECIFIED_DATE_TIME_MSG</source>
        <translation>표시할 날짜와 시간을 선택하십시오.</translation>
    </message>
    <message>
        <source>STR_SWITCHING</source>
        <translation>전환</translation>
    </message>
    <message>
        <source>STR_SWITCH_EWS_MSG</source>
        <translation>긴급 경보 방송으로 전환했습니다.</translation>
    </message>
    <message>
        <source>STR_SWITCH_EWS_QUESTION_MSG</source>
        <translation>긴급 경보 방송을 시청하시겠습니까?</translation>
    </message>
    <message>
        <source>STR_THURSDAY</source>
        <translation>목</translation>
    </message>
    <message>
        <source>STR_TIME</source>
        <translation>시각</translation>
    </message>
    <message>
        <source>STR_TODAY</source>
        <translation>오늘</translation>
    </message>
    <message>
        <source>STR_TOMORROW</source>
        <translation>내일</translation>
    </message>
    <message>
        <source>STR_TO_QUIT_PUSH_BUTTON_01_MSG</source>
        <translation>종료하려면 </translation>
    </message>
    <message>
        <source>STR_TO_QUIT_PUSH_BUTTON_02_MSG</source>
        <translation> 버튼을 누르십시오.</translation>
    </message>
    <message>
        <source>STR_TO_QUIT_PUSH_BUTTON_MSG</source>
        <translation>종료하려면 버튼을 누르십시오.</translation>
    </message>
    <message>
        <source>STR_TUESDAY</source>
        <translation>화</translation>
    </message>
    <message>
        <source>STR_VERSION</source>
        <translation>버전</translation>
    </message>
    <message>
        <source>STR_VIDEO_DELAY_OUTPUT_SETTING</source>
        <translation>영상 지연</translation>
    </message>
    <message>
        <source>STR_VOLUME_SETTING</source>
        <translation>음량</translation>
    </message>
    <message>
        <source>STR_WATCHING_SETTINGS</source>
        <translation>시청 설정</translation>
    </message>
    <message>
        <source>STR_WEAK</source>
        <translation>약</translation>
    </message>
    <message>
        <source>STR_WEAK_NOT_RECEIVED_MSG</source>
        <translation>신호가 약해 수신할 수 없습니다.</translation>
    </message>
    <message>
        <source>STR_WEDNESDAY</source>
        <translation>수</translation>
    </message>
    <message>
        <source>STR_WHILE_COPY_LOG</source>
        <translation>로그 복사 중...</translation>
    </message>
    <message>
        <source>STR_WITH_SCREEN_DISPLAY</source>
        <translation>화면 표시 있음</translation>
    </message>
    <message>
        <source>STR_YES</source>
        <translation>예</translation>
    </message>
    <message>
        <source>STR_YESTERDAY</source>
        <translation>어제</translation>
    </message>
</context>
</TS>
