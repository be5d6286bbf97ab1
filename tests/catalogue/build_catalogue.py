#!/usr/bin/env python3
"""Builds the three command catalogues from a transcription of their tables and prints them in
the format of mx7300-catalogue: a "# ComboN" heading, then one JSON string per entry and line.

The tables below are kept as close as possible to their published form (one line per family,
gaps written as runs such as 2s2t = two spaces then two tabs), so that they can be checked by eye
line for line; the C++ catalogue holds its own copy, and the two are compared byte for byte.
"""

import re
import sys

# Row | command | description; every entry is command + "[CR]" + 5 spaces + ":" + description.
COMBO1_TABLE = r'''
| 0 | "C00" | "POWER ON" |
| 1 | "C01" | "POWER OFF(Quick Power OFF)" |
| 2 | "C05" | "INPUT1" |
| 3 | "C06" | "INPUT2" |
| 4 | "C07" | "INPUT3" |
| 5 | "C08" | "INPUT4" |
| 6 | "C0D" | "VIDEO MUTE ON" |
| 7 | "C0E" | "VIDEO MUTE OFF" |
| 8 | "C0F" | "Screen Normal size" |
| 9 | "C10" | "Screen Full size" |
| 10 | "C1C" | "MENU ON" |
| 11 | "C1D" | "MENU OFF" |
| 12 | "C1E" | "DISPLAY CLEAR" |
| 13 | "C27" | "IMAGE" |
| 14 | "C30" | "D.Zoom +" |
| 15 | "C31" | "D.Zoom -" |
| 16 | "C3A" | "POINTER RIGHT" |
| 17 | "C3B" | "POINTER LEFT" |
| 18 | "C3C" | "POINTER UP" |
| 19 | "C3D" | "POINTER DOWN" |
| 20 | "C3F" | "ENTER" |
| 21 | "C43" | "FREEZE ON" |
| 22 | "C44" | "FREEZE OFF" |
| 23 | "C46" | "ZOOM -" |
| 24 | "C47" | "ZOOM +" |
| 25 | "C4A" | "FOCUS -" |
| 26 | "C4B" | "FOCUS +" |
| 27 | "C5D" | "Lens Shift Up" |
| 28 | "C5E" | "Lens Shift Down" |
| 29 | "C5F" | "Lens Shift Left" |
| 30 | "C60" | "Lens Shift Right" |
| 31 | "C89" | "Auto PC ADJ." |
| 32 | "C8A" | "PRESENTATION TIMER" |
| 33 | "C8B" | "PRESENTATION TIMER (Exit)" |
| 34 | "C8E" | "KEYSTONE UP" |
| 35 | "C8F" | "KEYSTONE DOWN" |
| 36 | "C90" | "KEYSTONE Right" |
| 37 | "C91" | "KEYSTONE Left" |
| 38 | "CR0" | "Status Read" |
| 39 | "CR1" | "Input Mode Read" |
| 40 | "CR3" | "Lamp Time Read" |
| 41 | "CR4" | "Setting Read" |
| 42 | "CR6" | "Temp Read" |
| 43 | "CR7" | "Lamp Mode Read" |
'''

# Rows | command(s) | description of the first entry. Gap: 1s1t after names of at most 7
# characters, 1s after longer ones, except the two names in READ_GAP_EXCEPTIONS.
COMBO3_TABLE = r'''
| 0 | "CR CONT" | "Get Contrast value" |
| 1 | "CR BRIGHT" | "Get Brightness value" |
| 2 | "CR COLOR" | "Get Color value" |
| 3 | "CR TINT" | "Get Tint valu" |
| 4 | "CR APCTRL" | "Get setting atatus of Auto Picture Control" |
| 5 | "CR COLTEMP" | "Get setting Color of temperatue" |
| 6 | "CR WBAL-R" | "Get White Balance Red value" |
| 7 | "CR WBAL-G" | "Get White Balance Green value" |
| 8 | "CR WBAL-B" | "Get White Balance Blue value" |
| 9 | "CR OFFSET-R" | "Get White Balance Red value" |
| 10 | "CR OFFSET-G" | "Get White Balance Green value" |
| 11 | "CR OFFSET-B" | "Get White Balance Blue value" |
| 12 | "CR SHARP" | "Get Sharpness value" |
| 13 | "CR GAMMA" | "Get Gamma value" |
| 14 | "CR NZRED" | "Get setting status of Noise reduction" |
| 15 | "CR PROGV" | "Get setting status of Progressive scan" |
| 16 | "CR IMAGE" | "Get Selected image status" |
| 17 | "CR IMGGMD" | "Get setting value of image Gamma" |
| 18 | "CR ADVCOL" | "Get setting status of Advanced color" |
| 19 | "CR FSYNC" | "Get setting value of Fine Sync" |
| 20 | "CR TDOTS" | "Get setting value of Total Dots" |
| 21 | "CR CLAMP" | "Get setting value of Clamp" |
| 22 | "CR H-POS" | "Get setting value of Horizontal Position" |
| 23 | "CR V-POS" | "Get setting value of Vertical Position" |
| 24 | "CR DDOTS" | "Get setting value of Display Dots" |
| 25 | "CR DLINE" | "Get setting value of Display Line" |
| 26 | "CR ORGMODE" | "Get the original signal for PC-Adjusted mode" |
| 27 | "CR PCSTORE" | "Get Free or Stored status for PC Adj.mode1-5" |
| 28 | "CR SERSYS" | "Get selected current signal. When in Auto mode, it returns a result by Auto detect" |
| 29 | "CR INPUT" | "Get selected Input No." |
| 30 | "CR SOURCE" | "Get selected source of currently selected input" |
| 31 | "CR SYSTEM" | "Get selected system status in input mode" |
| 32 | "CR SYSLIST" | "Get selectable System table" |
| 33 | "CR MODELIST" | "Get selectable Mode table" |
| 34 | "CR SRCINP1" | "Get selected source of Computer1" |
| 35 | "CR SRCINP2" | "Get selected source of Computer2" |
| 36 | "CR SRCINP3" | "Get selected source of Computer3" |
| 37 | "CR SRCINP4" | "Get selected source of Computer4" |
| 38 | "CR HMSLOT" | "Get total number of Inputs" |
| 39 | "CR NMSLOT1" | "Get terminal information of Input1" |
| 40 | "CR NMSLOT2" | "Get terminal information of Input2" |
| 41 | "CR NMSLOT3" | "Get terminal information of Input3" |
| 42 | "CR NMSLOT4" | "Get terminal information of Input4" |
| 43 | "CR IDSLOT1" | "Get ID information of Input1" |
| 44 | "CR IDSLOT2" | "Get ID information of Input2" |
| 45 | "CR IDSLOT3" | "Get ID information of Input3" |
| 46 | "CR IDSLOT4" | "Get ID information of Input4" |
| 47 | "CR SCREEN" | "Get selected screen size" |
| 48 | "CR KYSTNMODE" | "Get setting status of Keystone Store mode" |
| 49 | "CR CORNERTESTPAT" | "Get setting of test pattern for Comer correction" |
| 50 | "CR CEIL" | "Get setting status of Ceiling" |
| 51 | "CR REAR" | "Get setting status of Rear" |
| 52 | "CR VSCALE" | "Get setting status of Vertical Scale" |
| 53 | "CR VPOS" | "Get setting status of Vertical Position" |
| 54 | "CR HSCALE" | "Get setting status of Horizontal Scale" |
| 55 | "CR HPOS" | "Get setting status of Horizontal Position" |
| 56 | "CR SCREENASPECT" | "Get setting status of Screen aspect" |
| 57 | "CR LAMPREPL" | "Get the information for Lamp replacement time" |
| 58 | "CR LAMPMODE" | "Get Lamp Mode status" |
| 59 | "CR LAMPCONSTTAR" | (empty) |
| 60 | "CR LAMPCONSTCUR" | (empty) |
| 61 | "CR AUTOLAMPCONTRL" | "Get setting status of dimmerfunction level" |
| 62 | "CR LAMPSTS" | "Get lamp lighting status" |
| 63 | "CR INFLAMP" | "Get the total number of lamps" |
| 64 | "CR PROJH" | "Get projector running time" |
| 65 | "CR HMLAMP" | "Get lamp number" |
| 66 | "CR LAMPH" | "Get lamp total running time" |
| 67 | "CR LAMPCORRESPH" | "Get corresponding lamp use time" |
| 68 | "CR LAMPINTERVAL" | "Get setting status of Lamp interval" |
| 69 | "CR LAMPLIFECONTRL" | "Get lamp number" |
| 70 | "CR LANG" | "Get selected language" |
| 71 | "CR MENUSIZE" | "Get setting status of Menu size  " |
| 72 | "CR DISP" | "Get setting status of Display" |
| 73 | "CR BACKGND" | "Get setting status screen mode for the case of no signal" |
| 74 | "CR LOGO" | "GET setting status of Logo" |
| 75 | "CR LOGOLOCK" | "GET setting status of Logo Lock" |
| 76 | "CR FANSPEED" | "Get sselected Fan Control Speed" |
| 77 | "CR RCODE" | "Get selsected Remote Control Code" |
| 78 | "CR RSENS" | "Get selected location of infrared remote receiver of remote control" |
| 79 | "CR P-MANE" | "Get setting status of Power management" |
| 80 | "CR P-MANETIME" | "Get setting time for Power management" |
| 81 | "CR ON-STA" | "Get setting status of ON Start" |
| 82 | "CR SECURITY" | "Get setting status of Security" |
| 83 | "CR PJLOCKNOW" | "Get if PJ Lock is actually in operation" |
| 84 | "CR PJLOCKMENU" | "Get setting status of PJ Lock on Menu" |
| 85 | "CR FILH" | "Get Filter used time" |
| 86 | "CR FILCOND" | "Get status of filter clog" |
| 87 | "CR FILREPL" | "Get the information for Filter replacement time" |
| 88 | "CR FILTIMER" | "Get time when Filter warning OSD is displayed" |
| 89 | "CR FILREMAIN" | "Get remain number of usable Filter scroll" |
| 90 | "CR PTIMEMODE" | "Get setting mode of P-timer" |
| 91 | "CR PTIMER" | "Get status of P-timer" |
| 92 | "CR PTIME" | "Get setting time for count down mode in P-timer" |
| 93 | "CR TESTPAT" | "Get setting status of Test pattern" |
| 94 | "CR KEYDIS" | "Get RC/KEY disability status" |
| 95 | "CR SHUTRCPROT" | "Get remote controller disability status of the shutter" |
| 96 | "CR SHUTKEYPROT" | "Get key controller disability state of the shutter" |
| 97 | "CR SHUTH" | "Get time setting to begin the shutter management" |
| 98 | "CR SHUTEFFECT" | "Get status of shutter effect function" |
| 99 | "CR SHUTRELEASE" | "Get setting status of release key of shutter" |
| 100 | "CR DELAYCTRL" | "Get selected mode of Video delay control" |
| 101 | "CR CCAPTIONDISP" | "Get setting status of channel of Closed caption" |
| 102 | "CR CCAPTIONCOLOR" | "Get setting status of color of Closed caption" |
| 103 | "CR PIP" | "Get status of mode of "Picture in picture"" |
| 104 | "CR PIPMODE" | "Get status of Mode in "Picture in picture"" |
| 105 | "CR PIPMAININP" | "Get status of Input/Source for "Picture in picture"(Main picture)" |
| 106 | "CR PIPSUBINP" | "Get status of  Input/Source for "Picture in picture"(Sub picture)" |
| 107 | "CR PIPSIZE" | "Get status of Sub picture size in Picture in Picture" |
| 108 | "CR PIPFRAMELOCK" | "Get status of Frame lock in "Picture in picture"" |
| 109 | "CR PIPSTORE" | "Get status in  "Picture in picture"" |
| 110 | "CR EDGEBLENDING" | "Get setting status of Edge blending" |
| 111 | "CR BLEND" | "Get setting status of width of Edge blending" |
| 112 | "CR BLENDSTART" | "Get value of Start set in Edge blending" |
| 113 | "CR BLENDBLK" | "Get setting status of Black level of Edge blending" |
| 114 | "CR BLENDTESTPAT" | "Get setting status of Test pattern of Edge blending" |
| 115 | "CR COLORMATCHING" | "Get setting status of Color matching" |
| 116–118 | "CR CMMSXY RED", "CR CMMSXY GREEN", "CR CMMSXY BLUE" | "Get "x","y" value of Measured of Color matching" |
| 119–121 | "CR CMMSL RED", "CR CMMSL GREEN", "CR CMMSL BLUE" | "Get "L" value of Measured of Color matching" |
| 122–128 | "CR CMMGXY RED", "CR CMMGXY GREEN", "CR CMMGXY BLUE", "CR CMMGXY WHITE", "CR CMMGXY CYAN", "CR CMMGXY MAGENTA", "CR CMMGXY YELLOW" | "Get "x","y" value of Target of Color matching" |
| 129–135 | "CR CMMGG RED", "CR CMMGG GREEN", "CR CMMGG BLUE", "CR CMMGG WHITE", "CR CMMGG CYAN", "CR CMMGG MAGENTA", "CR CMMGG YELLOW" | "Get "g" value of Target of Color matching" |
| 136 | "CR CMAUTOTESTPAT" | "Get setting status of Auto test pattern of Color matching" |
| 137 | "CR CMMSTESTPAT" | "Get setting status of test pattern(Measured) of Color matching" |
| 138 | "CR CMTGTESTPAT" | "Get setting status of test pattern(Target) of Color matching" |
| 139 | "CR HDMISETUP" | "Get status of image mode of HDMI setup" |
| 140 | "CR STATUS" | "Get setting status of Projector behavior" |
| 141 | "CR SIGNAL" | "Get Signal Status if there is a signal or not" |
| 142 | "CR VMUTE" | "Get setting status of No Show" |
| 143 | "CR FREEZE" | "Get setting status of Freeze" |
| 144 | "CR PTIMER" | "Get operting status of P-Timer" |
| 145 | "CR TEMPFAIL" | "Get temperature when sensors approach abnomal temperature " |
| 146 | "CR TEMP" | "Get current temperature atatus" |
| 147 | "CR OPTCTRLNO" | "Get Option control No. of the projector" |
| 148 | "CR SERIALNO" | "Get value SERIAL NO." |
| 149 | "CR SHUTCOND" | "Get setting status of Shutter" |
'''

READ_GAP_EXCEPTIONS = {'CR FILCOND': '1s', 'CR TESTPAT': '2s'}

# Rows | stem | arguments | gap | description of the first entry | tails of other members.
COMBO2_TABLE = r'''
| 0–2 | "CF CONT" | UP, DN, 0%% | 2s2t | "Set Contrast value" | 0%%: 2s2t "% = 0-9" |
| 3–5 | "CF BRIGHT" | UP, DN, 0%% | 2s2t | "Set Brightness value" | 0%%: 2s2t "% = 0-9" |
| 6–8 | "CF COLOR" | UP, DN, 0%% | 2s2t | "Set Color value" | 0%%: 2s2t "% = 0-9" |
| 9–11 | "CF TINT" | UP, DN, 0%% | 2s2t | "Set Tint value" | 0%%: 2s2t "% = 0-9" |
| 12 | "CF COLMNSAV" | 00% | 1s2t | "Set area to store current values of Color Management" | — |
| 13 | "CF COLMNLD" | 00% | 1s2t | "Set area to load values of Color Management" | — |
| 14–18 | "CF APCTRL" | L1, L2, OFF, UP, DN | 1s2t | "Set level of Auto Picture Control" | — |
| 19–22 | "CF COLTEMP" | 000, 001, 002, 003 | 2s2t | "Set Color Temp. value" | — |
| 23–25 | "CF WBAL-R" | UP, DN, 0%% | 2s2t | "Set White Balance Red value" | 0%%: 2s2t "% = 0-9" |
| 26–28 | "CF WBAL-G" | UP, DN, 0%% | 2s2t | "Set White Balance Green value" | 0%%: 2s2t "% = 0-9" |
| 29–31 | "CF WBAL-B" | UP, DN, 0%% | 2s2t | "Set White Balance Blue value" | 0%%: 2s2t "% = 0-9" |
| 32–34 | "CF OFFSET-R" | UP, DN, 0%% | 2s2t | "Set Red value of Offset" | 0%%: 2s2t "% = 0-9" |
| 35–37 | "CF OFFSET-G" | UP, DN, 0%% | 2s2t | "Set Green value of Offset" | 0%%: 2s2t "% = 0-9" |
| 38–40 | "CF OFFSET-B" | UP, DN, 0%% | 2s2t | "Set Blue value of Offset" | 0%%: 2s2t "% = 0-9" |
| 41–43 | "CF SHARP" | UP, DN, 0%% | 2s2t | "Set Sharpness value" | 0%%: 2s2t "% = 0-9" |
| 44–46 | "CF GAMMA" | UP, DN, 0%% | 2s2t | "Set Gamma value" | 0%%: 2s2t "% = 0-9" |
| 47–48 | "CF NZRED" | ON, OFF | 2s2t | "Set/Cancel Noise reduction" | — |
| 49–51 | "CF PROGV" | ON, FILM, OFF | 2s2t | "Set/Cancel Progressive Scan" | — |
| 52–65 | "CF IMAGE" | STAND, REAL, CINEMA, DYNAMIC, CUSTOM1, CUSTOM2, CUSTOM3, CUSTOM4, CUSTOM5, CUSTOM6, CUSTOM7, CUSTOM8, CUSTOM9, CUSTOM10 | 2s2t | "Set Image mode" | — |
| 66–76 | "CF IMAGEADJ" | RST, STR1, STR2, STR3, STR4, STR5, STR6, STR7, STR8, STR9, STR10 | 2s2t | "Reset/Store for image adjustment" | — |
| 77–80 | "CF ADVCOL" | AUTO, OFF, UP, DN | 1s2t | "Set mode of Advanced color setting" | — |
| 81–83 | "CF FSYNC" | UP, DN, 00%% | 2s2t | "Set Fine Sync value" | 00%%: 2s2t "% = 0-9" |
| 84–86 | "CF TDOTS" | UP, DN, %%%% | 2s2t | "Set Total Dots value" | %%%%: 2s2t "% = 0-9" |
| 87–89 | "CF CLAMP" | UP, DN, %%%% | 2s2t | "Set Clamp Value" | %%%%: 2s2t "% = 0-9" |
| 90–92 | "CF H-POS" | UP, DN, %%%% | 2s2t | "Set Horizonetal Position value" | %%%%: 2s2t "% = 0-9" |
| 93–95 | "CF V-POS" | UP, DN, %%%% | 2s2t | "Set Vertical Position value" | %%%%: 2s2t "% = 0-9" |
| 96–98 | "CF DDOTS" | UP, DN, %%%% | 2s2t | "Set Display Dots value" | %%%%: 2s2t "% = 0-9" |
| 99–101 | "CF DLINE" | UP, DN, %%%% | 2s2t | "Set Display Line value" | %%%%: 2s2t "% = 0-9" |
| 102–121 | "CF ORGMODE" | VGA1, XGA1, WXGA3, 1080I60, 1080I50, 1035I, 720P60, 720P50, 575P, 480P, 575I, 480I, 1080PSF/24, 1080PSF/25, 1080PSF/30, 1080P24, 1080P25, 1080P30, 1080P50, 1080P60 | 2s2t | "Select System" | 480I: see irregular entries |
| 122–131 | "CF PCSTORE" | MODE1, MODE2, MODE3, MODE4, MODE5, MODE6, MODE7, MODE8, MODE9, MODE10 | 2s2t | "Store current values of PC Adjust at Mode 1-5" | — |
| 132–141 | "CF PCMODEFREE" | MODE1, MODE2, MODE3, MODE4, MODE5, MODE6, MODE7, MODE8, MODE9, MODE10 | 2s1t | "Relese registered values of Mode 1-5" | — |
| 142–147 | "CF INPUT" | 1, 2, 3, 4, UP, DN | 2s2t | "Select Input" | — |
| 148–166 | "CF SOURCE" | the 19 names in input source order | 2s1t | "Select Input Source" | — |
| 167–185 | "CF INPUT1" | the 19 names in input source order | 2s1t | "Select Input11 and also set input source to %1" | — |
| 186–204 | "CF INPUT2" | the 19 names in input source order | — | (no tail) | — |
| 205–223 | "CF INPUT3" | the 19 names in input source order | — | (no tail) | — |
| 224–242 | "CF INPUT4" | the 19 names in input source order | — | (no tail) | — |
| 243–277 | "CF SYSTEM" | VGA1, XGA1, WXGA3, D-XGA, D-WXGA3, AUTO, NTSC, NTSC443, PAL, SECAM, PAL-M, PAL-N, 1080I, 1035I, 720P, 575P, 480P, 575I, 480I, 1080PSF/24, 1080PSF/25, 1080PSF/30, D-VGA1, D-WXGA3, D-1080P, D-1080I, D-1035I, D-720P, D-575P, D-480P, D-1080PSF/24, D-1080PSF/25, D-1080PSF/30, D-720I, D-575I | 2s2t | "Select System" | D-VGA1: see irregular entries |
| 278–289 | "CF SCREEN" | NORMAL, FULL, WIDE, ZOOM, TRUE, NATURAL, CUSTOM, DZOOM UP, DZOOM DN, UP, DN, RST | 2s2t | "Select Screen size" | — |
| 290 | "CF DZCENT" | CENT | 2s2t | "Cancel Digital Zoom mode" | — |
| 291–299 | "CF KEYSTONE" | UP, FUP, DN, FDN, LEFT, FLFT, RIGHT, FRGT, RST | 2s2t | "Set Keystone" | — |
| 300–301 | "CF KYSTNMODE" | STR, RST | 2s2t | "Set Keystone Store mode" | — |
| 302–305 | "CF CORNER-UL" | UP, DN, LEFT, RIGHT | 2s2t | "Set Corner Keystone" | — |
| 306–309 | "CF CORNER-UR" | UP, DN, LEFT, RIGHT | — | (no tail) | — |
| 310–313 | "CF CORNER-DL" | UP, DN, LEFT, RIGHT | — | (no tail) | — |
| 314–317 | "CF CORNER-DR" | UP, DN, LEFT, RIGHT | — | (no tail) | — |
| 318–321 | "CF CORNERTESTPAT" | RED, WHITE, BLUE, OFF | 2s1t | "Set Corner Keystone Pattern Color" | — |
| 322–323 | "CF CEIL" | ON, OFF | 2s2t | "Set Celling function" | — |
| 324–325 | "CF REAR" | ON, OFF | 2s2t | "Set Rear function" | — |
| 326–328 | "CF VSCALE" | UP, DN, %%% | 2s2t | "Set value of Vertical scale" | %%%: 2s2t "% = 0-9" |
| 329–331 | "CF VPOS" | UP, DN, %%% | 2s2t | "Set value of Vertical position" | %%%: 2s2t "% = 0-9" |
| 332–334 | "CF HSCALE" | UP, DN, %%% | 2s2t | "Set value of Horizontal scale" | %%%: 2s2t "% = 0-9" |
| 335–337 | "CF HPOS" | UP, DN, %%% | 2s2t | "Set value of Horizontal position" | %%%: 2s2t "% = 0-9" |
| 338–341 | "CF SCREENASPECT" | FULL, 43MODE, 169MODE, 1610MODE | 8s | "Set Screen Aspect Function" | — |
| 342–346 | "CF LAMPMODE" | 2LAMP, 1LAMPAUTO, 1LAMP1, 1LAMP2, CONSTANT | 2t | "Select Lamp mode" | — |
| 347 | "CF LAMPCONSTTAR" | %%%% | 8s | "% = 0-9" | — |
| 348–351 | "CF AUTOLAMPCONTRL" | NORMAL, ECO1, ECO2, AUTO | 1s1t | "Switch dimmer function levels of Normal/Auto/Eco1/Eco2" | — |
| 352–353 | "CF LAMPLIFECONTRL" | MODE1, MODE2 | 5s | "Set Lamp Life Mode" | — |
| 354–359 | "CF LAMPINTERVAL" | 0024, 0200, 0500, 1000, 2000, OFF | 8s | "Set Lamp Interval Mode" | — |
| 360–371 | "CF LANG" | ENG, DEU, FRA, ITA, ESP, POR, NED, SVE, JPN, CHI, KOR, RUS | 2s2t | "Select English        Select language for OSD" | DEU: 2s2t "Select Geman"; FRA: 2s2t "Select French"; ITA: 2s2t "Select Italian"; ESP: 2s2t "Select Spanish"; POR: 2s2t "Select Portuguese"; NED: 2s2t "Select Dutch"; SVE: 2s2t "Select Swedish"; JPN: 2s2t "Select Japanese"; CHI: 2s2t "Select Chinese"; KOR: 2s2t "Select Korean"; RUS: 2s2t "Select Russian" |
| 372–375 | "CF MENUPOSITION" | UP, DN, LEFT, RIGHT | 10s | "Set Menu Position" | — |
| 376–377 | "CF MENUSIZE" | NORMAL, DOUBLE | 10s | "Set Menu Size" | — |
| 378–382 | "CF DISP" | ON, CNTDWNOFF, OFF, UP, DN | 2s2t | "Set Display function" | — |
| 383–387 | "CF BACKGND" | BLUE, USER, BLACK, UP, DN | 2s2t | "Set Screen mode for the case of no signal" | — |
| 388–393 | "CF PIP" | OFF, USER1, USER2, USER3, USER4, USER5 | 1s3t | "Set " Picture in Picture"" | — |
| 394–395 | "CF PIPMODE" | PINP, PBYP | 1s2t | "Select mode of "Picture in Picture"" | — |
| 396–471 | "CF PIPMAININP" | 1 + each source; 2 + each source; 3 + each source; 4 + each source (picture-in-picture source order) | 1s1t | "Select Input and Source for " Picture in Picture"(Main Picture)" | — |
| 472–546 | "CF PIPSUBINP" | 1 + each source; 2 + each source; 3 + each source except HDMI; 4 + each source (picture-in-picture source order) | 1s1t | "Select Input and Source for " Picture in Picture"(Sub Picture)" | — |
| 547 | "CF PIPSIZE" | % % | 1s2t | "Set Sub picture size in Picture in Picture" | — |
| 548–549 | "CF PIPSIZEMAIN" | UP, DN | 1s2t | (empty) | — |
| 550–551 | "CF PIPSIZESUB" | UP, DN | 1s2t | (empty) | — |
| 552–559 | "CF PIPPOSITION" | POS1, POS2, POS3, POS4, POS5, POS6, POS7, POS8 | 1s1t | "Set Sub picture position in Picture in Picture" | — |
| 560–561 | "CF PIPFRAMELOCK" | MAIN, SUB | 1s1t | "Set Frame lock in "Picture in Picture"" | SUB: see irregular entries |
| 562–566 | "CF PIPSTORE" | USER1, USER2, USER3, USER4, USER5 | 1s2t | "Store current status in "Picture in Picture" to User1-5" | — |
| 567–571 | "CF PIPMODEFREE" | USER1, USER2, USER3, USER4, USER5 | 1s1t | "Clear registration value in User %1 and return to state of Free " | — |
| 572 | "CF PIPRST" | RST | — | see irregular entries | — |
| 573–574 | "CF EDGEBLENDING" | ON, OFF | 1s2t | "Set Edge blending" | — |
| 575–578 | "CF BLEND" | LEFT 0%%%, RIGHT 0%%%, TOP 0%%%, BOTTOM 0%%% | 1s2t | "Set width of Edge blending" | — |
| 579–582 | "CF BLENDSTART" | LEFT 0%%%, RIGHT 0%%%, TOP 0%%%, BOTTOM 0%%% | 1s2t | (empty) | — |
| 583–585 | "CF BLENDBLK" | R %%%%, G %%%%, B %%%% | 1s2t | "Set Black level(R/G/B) of Edge blending" | — |
| 586–587 | "CF BLENDBLKALL" | UP, DN | 1s2t | "Set Black level(ALL) of Edge blending" | — |
| 588–589 | "CF BLENDTESTPAT" | ON, OFF | 1s2t | "Set Test pattern of Edge blending" | — |
| 590 | "CF BLENDRST" | RST | 1s2t | "Reset Edge blending" | — |
| 591–592 | "CF BLENDMENUOFF" | SET, RST | 1s1t | "Set Menu off of Edge blending" | — |
| 593–594 | "CF BLENDMENU" | ON, OFF | 1s2t | "Select display or erase Edge blending menu" | — |
| 595–596 | "CF COLORMATCHING" | ON, OFF | 1s1t | "Set Color matching" | — |
| 597–599 | "CF CMMSXY" | RED %%%% %%%%, GREEN %%%% %%%%, BLUE %%%% %%%% | 1s1t | "Set "x","y" value of Measured of Color matching" | — |
| 600–602 | "CF CMMSL" | RED %%%%, GREEN %%%%, BLUE %%%% | 1s2t | "Set "L" value of Measured of Color matching" | — |
| 603–609 | "CF CMMGXY" | RED %%%% %%%%, GREEN %%%% %%%%, BLUE %%%% %%%%, WHITE %%%% %%%%, CYAN %%%% %%%%, MAGENTA %%%% %%%%, YELLOW %%%% %%%% | 1s1t | "Set "x","y" value of Target of Color matching" | — |
| 610–616 | "CF CMMGG" | RED %%%%, GREEN %%%%, BLUE %%%%, WHITE %%%%, CYAN %%%%, MAGENTA %%%%, YELLOW %%%% | 1s2t | "Set "g" value of Target of Color matching" | — |
| 617–618 | "CF CMAUTOTESTPAT" | ON, OFF | 1s1t | "Set Auto test pattern of Color matching" | — |
| 619–620 | "CF CMRST" | CMRST, ADCRST | 1s2t | "Reset Color matching" | — |
| 621–622 | "CF CMSTORE" | CMRST, ADCRST | 1s2t | "Store Color matching" | — |
| 623–626 | "CF CMMSTESTPAT" | RED, GREEN, BLUE, OFF | 1s2t | "Disply Measured Test pattern of Color matching" | — |
| 627–634 | "CF CMTGTESTPAT" | RED, GREEN, BLUE, WHITE, CYAN, MAGENTA, YELLOW, OFF | 1s2t | "Disply Target Test pattern of Color matching" | — |
| 635 | "CF CMDEFAULT" | RST | 1s2t | "Return color matching setting to Factory Default setting" | — |
| 636–637 | "CF CMMENUOFF" | SET, RST | 1s2t | "Set Menu off of Color matching" | — |
| 638–639 | "CF CMMENU" | ON, OFF | 1s2t | "Select display or erase Color matching" | — |
| 640–641 | "CF HDMISETUP" | NORMAL, ENHANCED | 1s1t | "Set HDMI setup" | — |
| 642–646 | "CF LOGO" | %%%% OFF, %%%% DFLT, %%%% USER, %%%% UP, %%%% DN | 2s2t | "Set Logo function" | — |
| 647–648 | "CF FANSPEED" | MAX, NOR | 2s2t | "Select level of Fan Speed" | — |
| 649–658 | "CF RCODE" | 001, 002, 003, 004, 005, 006, 007, 008, UP, DN | 2s2t | "Select Remote Control Receptin Code" | — |
| 659–663 | "CF RSENS" | BOTH, FRONT, BACK, UP, DN | 1s2t | separator ";", "Select location of infrared remote receiver of remote control" | — |
| 664–668 | "CF P-MANE" | OFF, READY, SHUTDOWN, UP, DN | 2s2t | "Set Power management function" | — |
| 669–671 | "CF P-MANETIME" | UP, DN, %% | 2s2t | "Set Power management time" | — |
| 672–675 | "CF ON-STA" | ON, OFF, UP, DN | 2s2t | "Set Power ON Start function" | — |
| 676 | "CF PJPINCODE" | %%%% | 2s2t | "input PIN code release PJ Locj" | — |
| 677 | "CF FILH" | RST | 2s2t | "Reset Filter used time" | — |
| 678–681 | "CF FILTIMER" | 00400, 00700, 01000, OFF | 2s2t | "Set time when Filter warning OSD is displayed" | — |
| 682 | "CF FILCTL" | ROLL | 1s2t | "Execute operation of scroll of filter" | — |
| 683 | "CF FILSCRL" | RST | 1s2t | "Reset Filter scroll counter" | — |
| 684–694 | "CF TESTPAT" | COLOR, GRAD1, GRAD2, GRAD3, GRAD4, WHITE, BLACK, CROSS, OFF, UP, DN | 2s2t | "Set Test pattern display function" | — |
| 695–696 | "CF PTIMEMODE" | COUNTUP, COUNTDN | 1s1t | "Set count up/count down P-timer function" | — |
| 697–701 | "CF PTIMER" | START, STOP, RESTART, RST, EXIT | 1s2t | "Set the status of P-timer" | — |
| 702 | "CF PTIME" | %%% | 1s2t | "Set the time for count down mode in P-timer function" | — |
| 703–705 | "CF KEYDIS" | NONE, RC, KEY | 2s2t | "Disable RC/Projector keys" | — |
| 706 | "CF FDEFAULT" | RST | 2s2t | "Set the value to Factory Default " | — |
| 707–708 | "CF SHUTRCPROT" | ON, OFF | 2s2t | "Set valid / invalid of RC use on Shutter control function" | — |
| 709–710 | "CF SHUTKEYPROT" | ON, OFF | 2s2t | "Set valid / invalid use of key on the top panel on Shutter control function" | — |
| 711–713 | "CF SHUTH" | UP, DN, %%% | 2s2t | "Set time of operating shutter management function" | — |
| 714–716 | "CF SHUTEFFECT" | OFF, L1, L2 | 1s2t | "Set effect when opning/closing shutter" | L1: see irregular entries; L2: see irregular entries |
| 717–718 | "CF SHUTRELEASE" | ANY, SHUTTER | 1s2t | "Set release key of shutter" | — |
| 719–722 | "CF DELAYCTRL" | MID, LOW, HIGH, OFF | 2s2t | "Set Video delay control function" | — |
| 723–727 | "CF CCAPTIONDISP" | OFF, CC1, CC2, CC3, CC4 | 2s1t | "Set channel of Closed caption" | — |
| 728–729 | "CF CCAPTIONCOLOR" | COLOR, WHITE | 2s1t | "Set color of Closed caption" | — |
| 730–736 | "CF KEYEMU" | RIGHT, LEFT, UP, DN, SELECT, AUTOPC, LENSSHIFT | 2s1t | "Behave the same as corresponding key of projector top panel" | — |
| 737–738 | "CF MENU" | ON, OFF | 2s1t | "Switch ON/OFF of each Menu." | — |
| 739–740 | "CF POWER" | ON, OFF | 2s1t | "Switch ON/OFF of Power." | — |
| 741–744 | "CF FREEZE" | ON, OFF, UP, DN | 2s1t | "Set Freezefunction." | — |
| 745–746 | "CF VMUTE" | ON, OFF | 2s1t | "Set No show function." | — |
'''

INPUT_SOURCES = ('DIGITAL, ANALOG, VIDEO, S-VIDEO, YPBPR, YCBCR, SDI1, SDI2, SCART, HDCP, HDMI, '
                 'LINKA-YCBCR, LINKB-YCBCR, DUAL-YCBCR1, DUAL-YCBCR2, DUAL-YCBCR3, DUAL-YCBCR4, '
                 'DUAL-RGB1, DUAL-RGB2').split(', ')
PIP_SOURCES = ('DIGITAL, ANALOG, VIDEO, S-VIDEO, YPBPR, YCBCR, SCART, SDI1, SDI2, HDCP, HDMI, '
               'LINKA-YCBCR, LINKB-YCBCR, DUAL-YCBCR1, DUAL-YCBCR2, DUAL-YCBCR3, DUAL-YCBCR4, '
               'DUAL-RGB1, DUAL-RGB2').split(', ')

# Combo2 entries whose tail is irregular: row -> (command text, everything after "[CR]").
# A tail written as a gap-run string is expanded; CR LF is written out.
IRREGULAR_COMBO2 = {
    113: ('CF ORGMODE 480I', '1s'),
    265: ('CF SYSTEM D-VGA1', '2s2t'),
    561: ('CF PIPFRAMELOCK SUB', '\r\n'),
    572: ('CF PIPRST RST', '1s1t'),
    715: ('CF SHUTEFFECT L1', '1s'),
    716: ('CF SHUTEFFECT L2', '1s'),
}

CR = '[CR]'


def gap(notation):
    """'2s2t' -> two spaces then two tabs."""
    if not re.fullmatch(r'(\d+[st])+', notation):
        raise ValueError('bad gap notation: %r' % notation)
    return ''.join((' ' if kind == 's' else '\t') * int(count)
                   for count, kind in re.findall(r'(\d+)([st])', notation))


def table_rows(table, columns):
    rows = []
    for line in table.strip().split('\n'):
        assert line.startswith('| ') and line.endswith(' |'), line
        cells = line[2:-2].split(' | ')
        assert len(cells) == columns, line
        rows.append(cells)
    return rows


def row_range(cell):
    first, _, last = cell.partition('–')
    return int(first), int(last or first)


def unquote(cell):
    assert cell.startswith('"') and cell.endswith('"'), cell
    return cell[1:-1]


def build_combo1():
    entries = []
    for row, command, description in table_rows(COMBO1_TABLE, 3):
        assert int(row) == len(entries)
        entries.append(unquote(command) + CR + '     :' + unquote(description))
    return entries


def build_combo3():
    entries = []
    for rows, commands, description in table_rows(COMBO3_TABLE, 3):
        first, last = row_range(rows)
        assert first == len(entries), rows
        names = [unquote(c) for c in commands.split(', ')]
        description = '' if description == '(empty)' else unquote(description)
        head = names[0]
        notation = READ_GAP_EXCEPTIONS.get(head, '1s1t' if len(head) - 3 <= 7 else '1s')
        entries.append(head + CR + gap(notation) + ':' + description)
        entries.extend(name + CR for name in names[1:])
        assert len(entries) == last + 1, rows
    untailed = {row for row, entry in enumerate(entries) if entry.endswith(CR)}
    assert untailed == {117, 118, 120, 121, *range(123, 129), *range(130, 136)}, untailed
    return entries


def combo2_arguments(cell):
    if cell == 'the 19 names in input source order':
        return list(INPUT_SOURCES)
    if '+ each source' in cell:
        assert cell.endswith('(picture-in-picture source order)'), cell
        groups = cell[:-len(' (picture-in-picture source order)')].split('; ')
        arguments = []
        for group in groups:
            number, rest = group.split(' + ')
            skipped = rest[len('each source except '):] if 'except' in rest else None
            arguments += [number + ' ' + s for s in PIP_SOURCES if s != skipped]
        return arguments
    return cell.split(', ')


def first_tail(gap_cell, description):
    if gap_cell == '—':
        assert description in ('(no tail)', 'see irregular entries'), description
        return ''
    separator = ':'
    match = re.fullmatch(r'separator "(.)", (".*")', description)
    if match:
        separator, description = match.group(1), match.group(2)
    text = '' if description == '(empty)' else unquote(description)
    return gap(gap_cell) + separator + text


def member_tails(cell):
    if cell == '—':
        return {}
    tails = {}
    for argument, notation, text, irregular in re.findall(
            r'(\S+): (?:(\w+) "(.*?)"|(see irregular entries))(?:; |$)', cell):
        tails[argument] = None if irregular else gap(notation) + ':' + text
    return tails


def build_combo2():
    entries = []
    families = table_rows(COMBO2_TABLE, 6)
    for rows, stem, arguments, gap_cell, description, others in families:
        first, last = row_range(rows)
        assert first == len(entries), rows
        tails = member_tails(others)
        for index, argument in enumerate(combo2_arguments(arguments)):
            row = len(entries)
            command = unquote(stem) + ' ' + argument
            if row in IRREGULAR_COMBO2:
                expected, tail = IRREGULAR_COMBO2[row]
                assert command == expected, (row, command)
                tail = tail if tail == '\r\n' else gap(tail)
            elif index == 0:
                tail = first_tail(gap_cell, description)
            else:
                tail = tails.get(argument, '')
                assert tail is not None, (row, command)
            entries.append(command + CR + tail)
        assert len(entries) == last + 1, rows
    return entries


def json_string(text):
    escapes = {'"': '\\"', '\\': '\\\\', '\t': '\\t', '\r': '\\r', '\n': '\\n'}
    out = []
    for ch in text:
        if ch in escapes:
            out.append(escapes[ch])
        elif ord(ch) < 0x20:
            out.append('\\u%04x' % ord(ch))
        else:
            out.append(ch)
    return '"' + ''.join(out) + '"'


def main():
    catalogues = [('Combo1', build_combo1()), ('Combo2', build_combo2()),
                  ('Combo3', build_combo3())]
    for (name, entries), count in zip(catalogues, (44, 747, 150)):
        assert len(entries) == count, (name, len(entries))
    lines = []
    for name, entries in catalogues:
        lines.append('# ' + name)
        lines.extend(json_string(entry) for entry in entries)
    sys.stdout.buffer.write(('\n'.join(lines) + '\n').encode('ascii'))


if __name__ == '__main__':
    main()
