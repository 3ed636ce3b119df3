// The help texts. Each is written as the pieces it is built from, joined with nothing between
// them; "\r" is a forced line break. Spelling and blanks are the program's own and stay as
// they are.
#include "help/texts.h"

#include <array>
#include <utility>

namespace help {
namespace {

constexpr std::string_view kOpening =
    " Vemra needs the following "
    " PC configuration to operate properly :"
    " Win 95, Celeron466(min), 32mb Ram, fast UDMA hard drive, 800 by 600 resn and Small Fonts 96 dpi. "
    " 16 bit FULL DUPLEX sound card - preferably PCI - with directsound support, "
    " Microsofts Direct X 6.1 media run time installed, "
    " and specifically Microsofts Dsound.dll,"
    " ------------------------------------------------------------------------------------------ "
    " For effects like echo, reverb and chorus - please read para 4 of MVTIPS.TXT (click More Tips)."
    " To get HELP on any feature - please click"
    " one of the buttons in this display."
    " Other documents in the Vemracd dir are TROUBLE.TXT and MVTIPS.TXT - and all help files can be printed out using Notepad."
    " PC configurations being so many - Vemra is used at your own risk."
    " If you have any problems setting up your audio - please read the Trouble-shooting and More Tips documents in the Vemracd dir."
    " NEW - sample accurate editing of your tracks."
    " Check out the new DA, SA, DR, SR, PR, SP FUNCTIONS."
    "\r"
    " After recording - just"
    " click a tracks Fnn and display the new tracks waveform."
    "\r"
    " The SP buttons let you build drum tracks, rhythm loops,"
    " and soundtracks of effects - where each effect can be cued at a different time. ";

// Topics, by the label that owns the text, in the window's order from the top.
constexpr std::array<std::pair<std::string_view, std::string_view>, 40> kTopics{{
    {"Shelp",
     " Vemra settings button. "
     " Click it - on the main mixing screen - and in the"
     " dialog provided enter the exact path of your favorite"
     " audio editor. eg : C:\\ProgramFiles\\Audioed\\Editor.exe."
     " then click OK. This allows you to call another Editor,"
     " in addition to Vemras built in editing features."
     " To call the editor - click the O button and choose external audio editor."
     " In the editor open the track you want from the Mysong dir (eg : T03.wav), edit it and save it."
     " V.IMP - close the editor completely before you PLAY or record in Vemra again,"
     " as only one program at a time can use the sound card."
     " A TIP : if you save the edited track under a free track number (eg : T09.wav) - just click"
     " that tracks rec button in Vemra. It turns blue and the track is ready to play."},
    {"Ohelp",
     " Other programs button. Click it on the main mixer screen"
     " to call other programs. Select either external audio editor,"
     " windows mixer - for setting up your sound card, "
     " explorer for copying tracks and mixes, or notepad -"
     " for session notes."
     " A TIP : you can copy a track to a spare track easily"
     " using windows explorer. In explorer just right click over track"
     " and select COPY. Then on copy right click again to RENAME it"
     " to a spare track. In vemra click the rec button which will turn blue."
     " This is usefull for doing FX using track shift or for a editing back-up."},
    {"Nhelp",
     " Clicking on this button on the main mixer screen,"
     " will give you an overview of Vemras capabilities"
     " as each new version is introduced to the marketplace."},
    {"Umsghlp",
     " This displays the status of Vemra, sample numbers and messages to the user."
     " Single click on a displayed waveform with the left"
     " mouse button and the sample number at that point in time"
     " will display in this status line."
     " This feature is very usefull when shifting tracks in time"
     " using the FUN butttons for T02 to 14, and also editing."},
    {"Sphelp",
     " This feature allows you to record UNLIMITED TRACKS !!"
     " It can be invoked at any time - once a MIXDOWN has been done, and master played back once using MP."
     " clicking on this button splits the CD quality master Mix.Wav"
     " to tracks T01 and T02. Then you carry on as before "
     " recording on T03 thru' T14. "
     " Make sure you clicked the MP button to play and stop the master AT LEAST ONCE befor clicking this button."
     " so certain information is updated for use by the sound card."
     " You can repeat the MIXDOWN - split - record cycle as many times as you want."
     " As it is all digital - no noise is added however many times you go round."
     " If you want to keep a track for a later cycle - just dont delete it."
     " A TIP : before each new cycle - back up your tracks and Mix.wav to another dir using windows explorer."},
    {"Mxhelp",
     "  Click the MIXDOWN button - and MV will "
     " create a stereo CD QUALITY 44.1khz 16 bit mix (Mix.wav) in Mysong dir of one up to"
     " 14 tracks recorded. V.IMP - dont"
     " click on anything to interrupt the"
     " MIX process. "
     " You can click MP to start and stop playback of the "
     " stereo mix created by the mixdown process."
     "    A TIP : the mixdown process can take quite some time"
     " owing to the huge amount of information to be processed."
     " Alternatively - you could just hit PLAY to send the real time"
     " mix out from the sound card to DAT or cassette."
     " Mix.wav can be input to any mastering, normalising, MP3 or CD writing software you wish to use."},
    {"Mphelp",
     " After MIXDOWN to Mix.wav - the stereo CD quality master"
     " click this button to play and stop the master playing."
     " A TIP : you can playback the master from different "
     " times other than zero by using the punch-in function P."
     " or clicking on the From time box while the master is playing."
     " To re-set the master to play from zero - click on the zero button."
     " When you start Vemra - if there is a Mix.wav"
     " available for playing then the MP button will be red."
     " V.IMP - after MIXDOWN - please click MP AT LEAST ONCE,"
     " as certain information needed by the sound card is updated automatically."},
    {"Elhelp",
     " This indicates the elapsed time of the song from zero."
     " In hours , minutes, and seconds."
     " Click the time to pause/continue playback."},
    {"Plhelp",
     " Clicking this button plays back all recorded,"
     " and not muted tracks. The stereo mix is mixed "
     " in REAL TIME according to pan and volume settings."
     " Use this button if you just want real time mix playback"
     " and no track recording enabled."
     " I often use this to just listen to hear how a track "
     " i just recorded is sitting in the mix or playout the stereo mix"
     " to an external cassette deck or DAT linked to "
     " the sound card stereo line out."
     " If the MONO button is turned on ie : red"
     " then the multitrack mix will be"
     " mixed in real time in mono."},
    {"frevlbl", " left mouse button for going back by seconds, right click for minutes."},
    {"ffwdlbl", " left mouse button for going forward by seconds, right click for minutes."},
    {"Sthelp",
     " Clicking this button STOPS all recording and playback."
     " PLEASE REMEMBER - when you have finished recording"
     " a track to click the STOP button - so you dont waste "
     " valuable disk space. A TIP : You can also click on "
     " the big plus key on the RHS of your keyboard to "
     " PLAY and STOP."
     " If you were in recording mode - when you click STOP"
     " your recording is automatically saved in the Mysong dir."},
    {"Puhelp",
     " This indicates the time a playback will start (PLAY button)."
     " After you have clicked PLAY - you can click the From time box "
     " to set a punch-in time for"
     " the next playback."
     " A TIP : if you were a bit late in clicking - "
     " no worry - when stopped just click on P to enter the time you need."
     " P is also used to do record punch-in from a certain time."
     " Its a good idea to allow about 5 to 10 secs - before"
     " the actual punch-in . So - if for example you want to"
     " say record with existing tracks at one minute - enter"
     " your punch-in as 50 seconds. So - you can get comfortable."
     " After doing a punch-in remember to click the zero button if you want the recorder to start from zero again."},
    {"Pinbtnhlp",
     " Click this button when stopped to enter a punch-in time."
     "\r"
     " Choosing the show wavs only option allows swift moving around in waveforms without affecting punch-in time."
     "\r"
     " Choose the set new punch in option sets the new puch in time for play/record. Leaving blank sets back to zero."},
    {"Zehelp",
     " Clicking on this button on the main mixer screen will "
     " re-set all play and record functions back to starting "
     " from zero."},
    {"Tnhelp",
     " If you want to give a track a specific name"
     " just click in the field and enter a name for the"
     " duration of the session. "
     " eg : Drums on T01 and Bass on T02. Click in the box, type the name,"
     " and clear the rest of the box using the delete key."
     " After track name entry hit return."
     " NOTE : at exit name can now be saved in vsets file with pan/vols."},
    {"Trhelp",
     " R01 thru' R28 are the record buttons for each track."
     " R01 is the first track"
     " that must be recorded - for the full length of the song plus add 10 seconds leeway. You might find this leeway usefull in later editing - eg : cut and paste of sample ranges."
     " Just click R01 to record, and STOP to stop. Tracks R02 to 28 the same. They can be recorded in any sequence,"
     " and for any duration up to end of the reference track T01. "
     " After you STOP - click PLAY to hear the track you just recorded mixed with the tracks before it."
     " While you record - all unmuted recorded tracks play back so you can play along."
     "    A TIP : By clicking on your keyboard one of F1 thru' F12 (T01 thru' 12)"
     " this allows for mouse free recording. "
     " Each time you start Vemra - any recorded tracks in Mysong dir"
     " will automatically load and rec boxes will be blue."
     " All tracks recorded are CD quality 44.1/16 bit."
     " Click a tracks Fnn button to display its waveform."
     " To silence audio - hold down the left mouse button over the waveform and drag to the right."
     " The first click on a waveform displays the sample number in the message line above PLAY and STOP."
     " This is usefull for shifting tracks and for range editing."
     " A TIP : copy a track to a spare track number using windows explorer, then click that tracks rec button - it turns blue."
     " Use it as a back-up before editing - or play both together to double the tracks volume."},
    {"Funhelp",
     " Clicking a tracks Fnn (after recording) brings up a selection menu."
     "\r"
     " 1. Solo track -  to hear track by itself. Click STOP to stop."
     "\r"
     " 2. Solo waveform - to play 3sec or 1sec displayed waveform only from time at top left of timeline. Automatic stop."
     "\r"
     " 3. Delete Track - to delete track from Mysong directory."
     "\r"
     " 4. Hide/show waveform - to hide or show waveform. Usefull for slower PC's."
     "\r"
     "    TIP : hide the waveforms you dont need - paging through the waveform displays is then faster."
     "\r"
     "    TIP : click HW to hide all waveforms - then show the one you want again with its Fnn menu."
     "\r"
     " 5. Shift track - to synch your new track with others previously recorded."
     "\r"
     "    To correct latency - left click the waveform where the track should start and note the sample number."
     "\r"
     "    Then left click where it does start and note that sample number too."
     "\r"
     "    Choose Shift track and enter the difference in the pop-up dialog. The waveform is realigned."
     "\r"
     "    Shift can also be used creatively - eg : for doubling, slap back echo and delay effects."
     "\r"
     "    For more on shifting - read TROUBLE.TXT and MVTIPS.TXT in the Vemracd dir."
     "\r"
     "    Tracks can be synched to the exact sample."
     "\r"
     "    Shift does not apply to T01 - as this is normally a reference track."
     "\r"},
    {"Tphelp",
     " Top slider is pan, bottom volume."
     " Click with the mouse in the grey spaces to set."
     " You can now set pans/vols during playback."
     " And will hear immediate results in real time !!"
     " click on Fnn to reset pan at centre of stereo image, and for mute."
     " To unmute - just click in the grey volume space."
     " A TIP : you should not have to set volume "
     " more than 7 out of 10. If you do - then you "
     " might need to adjust your master volume in windows mixer."
     " To boost a track - lower the volume of the others."
     " To check levels - do a short test recording and display its waveform."
     " The peaks should come just shy of the top and bottom of the waveform panel."
     " If you only see a flat blue line - the sound cards line input is not connected. Try the other input."
     " A TIP : to make a track louder - copy it to a spare track number using explorer and click its rec button (it turns blue)."
     " Then silence parts of the copy - for moving swells in volume."},
    {"minminushlp", " Click this button to go back a minute in tracks waveform displays."},
    {"minplushlp", " Click this button to go forward one minute in all tracks waveform displays."},
    {"onesechlp",
     " Click on a tracks waveform at a particular second - then"
     " click this button - and only that one second of the track will be displayed "
     " for editing. The one second is optimally zoomed automatically."
     " To go back to the normal 3 second mode - just click on the Click Me to go back to 3 second display heading."
     " To erase(edit) audio in this one sec mode - hold down the left mouse "
     " button and drag to the right, then let up on the button. "
     " In the one sec waveform display mode you can hear the waveform by clicking the tracks Fnn button, and choosing solo waveform."},
    {"minushlp",
     " Click this button to display all waveforms back by 3 seconds."
     "\r"
     " TIP: to move rapidly to a time in waveforms use P button."},
    {"plushlp", " Click this button to advance waveform displays by 3 seconds. "},
    {"PAllhlp",
     " When you click P ALL - all unmuted tracks play back from the starting time in the time line. "
     " S ALL - stops playback. This is usefull for hearing recorded tracks from a certain time."},
    {"latelbl",
     " This is a very ROUGH guide to system/audio driver speed while recording."
     " Also gives an idea of speed when using fader automation. Obviously the lower the better."},
    {"hidewavshlp",
     " For slower systems - if you get momentary white screens. "
     "Clicking HW hides/shows all waveforms. Also any Fnn brings up the menu that lets you hide/show a tracks waveform."},
    {"vp1h",
     " **STEP ENTRY FADER AUTOMATION** - Applies while STOPped."
     " For each second to fader automate. Click its PV button to turn red."
     " Then click the fader. And the setting will be stored."
     " Use the > and < blue buttons to bring up a new set of 3 seconds."
     " EXAMPLE : you want the volume of track 05 to move between 9 and 11 seconds."
     " Click P and choose the show wavs only option - and enter 9 seconds. The time-line now shows 9, 10 and 11."
     " Click the PV over 9 - it turns red - then click T05s volume fader where you want it."
     " Do the same with the PV over 10 and the PV over 11."
     " Then right click the fader till it shows \"P\"."
     " Click P all - and you will see the fader move and hear the volume change at 9, 10 and 11 seconds."
     " TIPS : You can step enter a whole track this way - starting from second zero."
     " Step entry is also handy for fixing single fader moves after doing real time automation."
     " A fade of the whole song is best made on your outside recorder (DAT or cassette) when you play out the final mix."},
    {"Tsthelp",
     " Click the ST button to record in stereo. ST's rec box will turn blue."
     " Click STOP (or the RHS + key) to stop recording in stereo."
     " REMEMBER - to click the 13/14 button after so as to"
     " integrate the stereo recording into the multitrack environment."},
    {"T1314help",
     " After stereo recording is stopped - you click"
     " this button to integrate the recording into the "
     " multitrack environment. The stereo recording is"
     " moved to tracks 13 and 14. At which point - you can delete ST."
     " Pan on 13 and 14 is automatically set to the proper"
     " extreme left and right settings."
     " while recording ST - you will hear a real time "
     " mix of all the tracks recorded previously."
     " Once St is moved to 13 and 14 - hit PLAY and you "
     " will hear the stereo track playback with the other tracks."
     " A TIP : You can record unlimited stereo tracks "
     " by using windows explorer to copy 13 and 14 to other free tracks,"
     " then repeating the ST and 13/14 process !!"},
    {"Tdsthelp",
     " Clicking DST deletes the stereo track."
     " You normally do this after moving the stereo track to 13 and 14."
     " On deletion - ST's rec box turns red - to signify "
     " its available for recording."},
    {"P01Llbl",
     " **FADER AUTOMATION**"
     " Right click with mouse to automate fader."
     " An R will appear on RHS(record fader movements). Click PLAY."
     " While track plays your fader clicks are recorded."
     " Click STOP to finish. V IMP - right click over fader again. R becomes P(Play fader movements)."
     " Now click PLAY , and you will see the fader move and hear pans/vols change !!"
     " To end automation on a fader right click over it till its blank."
     " You can also punch in a fader move. While playing - right click a fader showing \"P\" till it shows \"R\","
     " click your new setting, then right click it back to \"P\"."
     " eg : to redo a move at 20 and 21 seconds - PLAY from a few seconds before, switch the fader to R just before 20 secs,"
     " click your new settings at 20 and 21 secs, and switch back to P after 21 secs."
     " Use automation for fades, volume changes on solos, and panning sounds from side to side."
     " If a passage is too difficult to do in real time - copy the track to a spare track, or enter the moves second by second using the PV buttons."
     " Due to complexities i wont bore you with MIXDOWN does not allow fader automation."
     " So - to keep your automation in the final mix, PLAY the mix out from the sound card to DAT or cassette."
     " Automation is limited to T01 to 14 - as many computers dont have the power to use it fully."
     " How many faders you can automate at the same time depends on the speed of your PC."
     " For step entry of automation - click the PV button in this display."},
    {"wd01hlp",
     " Each track has its own waveform display panel. You display a newly recorded tracks waveform by clicking its Fnn button."
     " To erase audio ie : edit - hold down left mouse button - then drag to the right,"
     " and let up on the left mouse button. For example - this is usefull for quickly erasing guitar amp noise between licks played or for other purposes like silencing playing mistakes."
     " If you went too far right - just sweep mouse to the left, and let up button. Edit will not occur."
     " A TIP : back up a track before editing - copy it to a spare track using windows explorer."
     " For fine editing - click the track at the second you want, then click 1sec to zoom in on that one second."
     " You can find out the sample number at any point - just by left clicking on the track with no drag."
     " The sample number is displayed in the User Message line above Play and Stop."
     " Using the sample numbers you can line up tracks exactly - with the shift track option of the Fnn buttons."
     " You can page through the waveform displays either a minute at a time "
     " using m - and m + , or 3 secs at a time using Back and Fwd."
     " A TIP : if a waveform is cut off at the top and bottom of its panel - the track was recorded too loud."
     "\r"
     " When a SP button or BOX is red - right clicking over waveform pastes external sample."
     "\r"
     " To move quickly to any time in the waveforms - click P and choose the show wavs only option."
     " P all solos all waves from the left most time in time-line. Punch-in is unaffected."
     " The line of buttons V++ thru' PR are for doing processing to tracks."
     " V++ = Boost vol of wave(let). V-- = cut vol of wave(let). DA = Delete all samples in a track from a samplenumber."
     " SA = Silence all samples in a track from a sample number. DR = Delete range of samples (CUT). SR = Silence range."
     " RR = Reverse range. PR = copy and paste range either to same or different track."},
    {"ovhelp",
     " The general way of working with Vemra "
     " is to record up to 14 tracks. "
     " starting with T01 - then other "
     " tracks in any order."
     " Then - if you want more tracks recorded - or "
     " Unlimited tracks - do a MIXDOWN - then click MP to play and stop mix at least once."
     " then split the mix (MX--1/2) to T01/02."
     " And continue recording from T03 onwards."
     " You can repeat this cycle as many times as you want."
     " While you record a track - you hear all the tracks recorded before it in real time."
     " Any track can be played, soloed, deleted, edited, panned, set in volume and shifted in time."
     " If you look in the Mysong dir - each track you"
     " record is saved as Tnn.wav. Where nn = 01 to 14."
     " The Stereo Master mixed down (using MIXDOWN) is Mix.wav."
     " All audio is CD quality 44k.1 Khz 16 bit."
     " Waveforms are worked out from the track files each time they display - so no extra files are stored on your disk."
     " On slower PC's you may get a momentary white screen before the waveforms are drawn again."
     " Use HW or the Fnn buttons to hide some of them."
     " The programs in the Vemracd dir do not use the windows registry."
     " Rest the mouse over the important buttons and a tooltip tells you what they do."
     " Click the N button on the main mixer screen to see the new features."},
    {"tw8tks",
     " To record and playback 28 tracks simultaneously is easy."
     " After recording 14 tracks, just click the T1528 button. 14 more blank tracks will appear for recording to."
     " All commands are the same. Just click rec boxes, and the black Fnn buttons to display waveforms after you STOP recording."
     " You can toggle between both sets of 14 tracks by clicking T0114 and T1528."
     " When T0114 is white you are working on the first 14 tracks. And T1528 white the second set of 14 tracks."
     " All unmuted (and recorded) tracks playback with the one being recorded."
     " For example while recording track 28 - the previous 27 will playback."
     " A 7200 rpm hard drive is preferable to a 5400 rpm one."
     " If you get audio break-ups - your system or hard drive is too slow for that many tracks."
     " Please Note - clicking MIXDOWN will still only mix the first 14 tracks to Mix.wav."
     " A suggested way of working - record your bed tracks (drums, bass, rhythm guitar etc) on T15 to T28."
     " Then do your overdubs on T01 to T14 - MIXDOWN and split them as usual."
     " Please remember T01 must be first track recorded even if a click or blank for full length of song as a reference for Vemra."
     " You can then record the other 27 tracks in any order you wish."
     " A TIP : for still more tracks - PLAY all 28 tracks out to DAT or cassette and record that stereo master back in on T01 and T02."
     " Then set the pan of T01 hard left and T02 hard right - and carry on recording."},
    {"vssets",
     " At program exit you'll be asked if track names, and pan/volume settings are to be saved."
     " If you click OK a file called vsets will be created."
     " The next time you start Vemra to continue a session, the track settings will be auto created on the screen."
     " This saves you time when a song is tracked over many Vemra sessions."
     " If you move your tracks to a backup archive, also include vsets in case of need at a later time to bring tracks back into mysong dir for further work."
     " If you decide at a later point vsets is  not required, just delete it using windows explorer."
     " eg : you want to start a new song with a new vsets file."},
    {"Label1",
     " You can have great fun building sample rhythm, "
     "drum, techno, or soundtrack cues for film using Vemra."
     " Simply copy the samples you want to use into the Mysong dir using explorer."
     " Vemra recognises buttons SP01 thru' SP08 ( speed buttons ) and SP09 thru' SP99 associated with the box button."
     " So - please name your samples accordingly using explorer. 44.1K/16 bit mono only."
     "\r"
     " If they are longer than 10 secs - give them a free track id ie : T01 thru' T14. For copying and pasting."
     "\r"
     " EXAMPLE : copy kick, snare, hats and others into Mysong as SP01.wav thru' SP08.wav - and two more as SP09.wav and SP10.wav for the box button."
     " Record a long blank track (eg : T03) to paste onto."
     " Click SP01 - it turns red. Now each right click over the blank tracks waveform pastes the sample once more at that point."
     " For SP09 or SP10 - click the box button and enter the sample number (eg : 9) in the box next to it."
     " After one paste - the V++ to PR buttons repeat it for you - with or without intervals, or by beats per minute."
     " For more on the editing buttons - read MVTIPS.TXT in the Vemracd dir (click More Tips)."},
    {"examl",
     " DRUM TRACK TUTORIAL PART 1."
     "\r"
     " You will need a MIDI keyboard with drum sounds, and a collection of drum samples - eg : a kick and a snare copied into Mysong as SP01.wav and SP02.wav."
     "\r"
     " Step 1 : Record (R01) a blank track for more than a minute. Click STOP then F01 to display blank waveform."
     "\r"
     " Step 2 : To eradicate any sound card noise. Left click at extreme left of wave panel. ie ; sample zero."
     " The start sample box fills in by itself. Click SA and the whole track is silenced."
     "\r"
     " Step 3 : Lets assume 4 beats per bar typical rock rhythm. Kick(1),snare(2),Kick/Kick(3),snare(4)."
     " Record three bars of this rhythm on T02 from your keyboard. Click STOP then F02."
     "\r"
     " Keep the best bar - silence the rest with SR or a left mouse drag. Then use DR to delete the silence in front of it - so the bar starts at zero."
     "\r"
     " Click SP01 (it turns red) and right click over T01 at the same spot as the kick of beat 1 in T02."
     " Then click SP02 and right click over T01 at the same spot as the snare."
     "\r"
     " Step 4 : Repeat process for beats 2,3, and 4. pasting SP01 and 02 to T01. All beats in T01 should match T02."
     "\r"
     " Now we have a good one bar - we can copy and paste it many times using PR, # of pastes and interval. "},
    {"examl2",
     " T01 has one bar done of Kick,snare,kick/kick, snare - matching with T02 - so lets build a drum track."
     "\r"
     " Step 1 : Find the interval between pastes. Click SP01 and right click to paste it on T01 where the next bar should start."
     " PLAY - if it doesnt sound right - delete it and paste again a little earlier or later till it does."
     "\r"
     " Step 2 : Left click on T01 at the first kick - then left click just before the sixth beat."
     " ie : start and end sample boxes are entered. Now left click AGAIN at begin of sixth beats wavelet for paste to sample start. In # of pastes enter say 10 , and in interval 100. Click PR (paste range)."
     "\r"
     " Remember - the range to copy runs from the first kick up to where the paste is to start."
     "\r"
     " An interval of 2 doubles each kick - try it for fun."
     "\r"
     " For a longer take - enter 20 pastes and interval 100."
     "\r"
     " Now add other instruments - hats, cymbals, percussion - on other tracks the same way."
     " Of course you can delete T02 now."
     "\r"
     " Have fun !!"},
    {"sccplbl",
     " These buttons do processing on the track in the sample boxes."
     " Left click a waveform at the start of the range - then at the end - and the start and end sample boxes fill in."
     " V++ = Boost vol and V-- = Cut vol of the range by the % you enter."
     " DA = Delete all samples from the start sample. SA = Silence all samples from the start sample."
     " DR = Delete range (CUT). SR = Silence range."
     " PR = Paste range - left click a third time for the paste to sample, and enter # of pastes and interval if you want repeats."
     " A TIP : back up a track before editing - using windows explorer."},
}};

}  // namespace

std::string_view openingText() { return kOpening; }

std::string_view topicText(std::string_view label) {
  for (const auto& [name, text] : kTopics)
    if (name == label) return text;
  return {};
}

}  // namespace help
