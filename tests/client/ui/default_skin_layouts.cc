#include "tests/client/ui/default_skin_layouts.h"

#include "runtime/util/text_convert.h"
#include "tests/support/test_support.h"

namespace ombrix::test {

std::wstring DefaultSkin() { return brx::util::Utf8ToWide(SourceDir() + "/skins/other"); }

const std::vector<Layout> kDefaultSkinWindows = {
    {L"obskin.xml",
     {L"minbtn", L"closebtn", L"feedbackbtn", L"userbtn", L"insertpicbtn", L"menubtn", L"confbtn", L"picbtn",
      L"keybtn", L"lookForbtn", L"eventbtn", L"commitbtn", L"txtrich", L"topicbtn", L"topicnum",
      L"OBFrameContainer", L"ie", L"HeadPictureContainer", L"BottomContainer", L"IEContainer", L"goBack",
      L"findOut", L"userName", L"followthem", L"LayoutSearchFriend_searchresult", L"LayoutSearchFriend_NoResults",
      L"LayoutFriendsList_oblist", L"LayoutSearchFriend_oblist", L"goToOmbrix", L"recommend_tip_1",
      L"recommend_tip_2", L"recommend_tip_continue_button", L"recommend_tip_2_arrow",
      L"recommend_tip_close_button_1", L"recommend_tip_close_button_2", L"LayoutNormal", L"LayoutFriendsList",
      L"LayoutSearchFriend", L"selectAlready", L"selectAll", L"selectNull", L"prePage", L"page1", L"nextPage"}},
    {L"login_layout.xml",
     {L"closebtn", L"ContainerNormal", L"ContainerLoggingIn", L"ContainerQuickLogin", L"ContainerQuickLoginFailed",
      L"ContainerSignInWithAccount", L"ContainerSignInWithoutAccount", L"accountedit", L"pwdedit",
      L"checkRemPassword", L"checkAutoLogin", L"loginBtn", L"registerBtn", L"forgetPasswordBtn", L"guestBtn",
      L"ombriBtn", L"cancelLoginBtn", L"quickLoginBtn", L"usingOtherAccountBtn", L"failedUsingOtherAccountBtn",
      L"loggingText", L"userAccount", L"sugerSideName", L"newSideName", L"couldEdit", L"nicknameEdit",
      L"signInRightNow1", L"signInRightNow2", L"LabelNickNameNotAvailable", L"LabelNickNameInvalid",
      L"LoggingPic0", L"LoggingPic1", L"notifyText", L"nickName"}},
    {L"prompt_dialog.xml",
     {L"botton_new", L"botton_aboutme", L"botton_newmessage", L"botton_newfans"}},
    {L"about_dialog.xml",
     {L"closebtn", L"confirmbtn", L"ombrixbtn", L"text_version"}},
    {L"feed_dialog.xml",
     {L"closebtn", L"confirmbtn", L"feedtitle", L"feedlist", L"topicnum"}},
    {L"message_dialog.xml",
     {L"messagelabel"}},
    {L"quota_overflow.xml",
     {L"CloseBtn", L"notifyMessage", L"notifyMessage2", L"ChangeSetBtn", L"OpenFolderBtn", L"CancelBtn"}},
    {L"warning_dialog.xml",
     {L"closebtn", L"confirmbtn", L"headerlabel", L"messagelabel"}},
    {L"yesno_dialog.xml",
     {L"closebtn", L"confirmbtn", L"denybtn", L"headerlabel", L"messagelabel", L"messagelabel1", L"messagelabel2",
      L"single_line_container", L"double_line_container"}},
    {L"context_menu.xml",
     {L"aboutBtn", L"communityBtn", L"configureBtn", L"changeUserBtn", L"exitBtn"}},
    {L"configuration_dialog.xml",
     {L"normalSetBtn", L"regularSetContainer", L"accelSetBtn", L"accelSetContainer", L"soundsetBtn",
      L"soundSetContainer", L"folderSetBtn", L"folderSetContainer", L"pwdSecuritySetBtn", L"pwdsecSetContainer",
      L"Container1Btn1", L"Container1Btn2", L"Container2Btn1", L"Container2Btn2", L"Container1", L"Container2",
      L"OKBtn", L"CancelBtn", L"SetBtn", L"CloseBtn", L"durationEdit", L"durationDownBtn", L"durationUpBtn",
      L"intervalEdit", L"intervalDownBtn", L"intervalUpBtn", L"timerShotEdit", L"timerShotDownBtn",
      L"timerShotUpBtn", L"quotaEdit", L"quotaDownBtn", L"quotaUpBtn", L"checkRemPassword", L"checkAutoLogin",
      L"checkLaunchingWithGame", L"checkLaunchingWithGameTipContainer", L"checkExitWithGame", L"navigateEdit",
      L"navigateFolder", L"openFolder", L"saveToDefaultFolder", L"saveTomyDocument", L"saveToMySet",
      L"remindQuota", L"setChangePasswordBtn", L"textAutoLoginMessage", L"setAutoLoginBtn", L"muteSound",
      L"OTShot", L"CTShot", L"OneShotAccel", L"ConShotAccel", L"partShotAccel", L"hideShowOmbrix", L"TimeShot"}},
    {L"OBUserInfoDialog.xml",
     {L"close_button", L"ok_button", L"cancel_button", L"set_button", L"change_picture_button", L"nickname_edit",
      L"signature_edit", L"user_picture_label", L"user_name_label", L"role_name_label", L"role_name_appendlabel",
      L"province_combo", L"city_combo", L"nickname_edit_error_info", L"game_role_list", L"noroletiplabel"}},
};

const std::vector<Layout> kDefaultSkinParts = {
    {L"oblist.xml",
     {L"NickNameLabel", L"RoleNameLabel", L"VerifyIcon", L"IsSelected", L"ImgContainer"}},
    {L"OBRoleInfoRow.xml",
     {L"role_option", L"role_game", L"role_server_up", L"role_server_down", L"role_name", L"role_occupation",
      L"role_level", L"role_privacy"}},
};

}  // namespace ombrix::test
