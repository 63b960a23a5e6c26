#include "show/credits_scroller.h"

#include "assets/bitmap_font.h"
#include "platform/frame_timer.h"

float creditsScroll = 0.0f;
float scrollWrapOffset = 0.0f;

// Lines 1 to 4 are 40 pixels apart; then the lines of a block 20 apart, with one empty
// line (40 pixels) between blocks.
const CreditLine creditLines[creditLineCount] = {
    {480.0f, "        -/- Velmora -/-        "},
    {520.0f, "      proudly bring you        "},
    {560.0f, "        T H O U S A N D        "},
    {600.0f, " Done just to celebrate first  "},
    {620.0f, "  1000 hits of our knowledge   "},
    {640.0f, "        center called :        "},
    {680.0f, "           [Dolven]            "},
    {700.0f, "           [Quarn ]            "},
    {740.0f, "Dolven Quarn's staff would like"},
    {760.0f, "   send out big thanx to the   "},
    {780.0f, "  people who helped making DQ  "},
    {800.0f, "   what it's now. Hugs to :    "},
    {840.0f, "          - Nightjar -         "},
    {860.0f, "Who daily updated the site and "},
    {880.0f, "made the gfx and the articles  "},
    {900.0f, "rearranging.                   "},
    {940.0f, "           - Orzo -            "},
    {960.0f, "    Who started it all with    "},
    {980.0f, "  his old mate Pellam Straik   "},
    {1000.0f, "  and the first Tricks corner. "},
    {1040.0f, "         - Brinewolf -         "},
    {1060.0f, "  Who expecially performed da  "},
    {1080.0f, "  translations with Yusra Kell."},
    {1120.0f, "           - Tamsk -           "},
    {1140.0f, " Who somehow gave an hand for  "},
    {1160.0f, "        the website.           "},
    {1200.0f, "   - Doctor Quillfeather -    "},
    {1220.0f, "Who saved a lot of people from "},
    {1240.0f, "boredom with his priceful hints"},
    {1260.0f, "   and careful descriptions.   "},
    {1300.0f, "  - who submitted knowledge -  "},
    {1320.0f, "Ansel Dray, Birte Holm, Cosmo, "},
    {1340.0f, "Dunja Pell, Edvin Roos, Fausta,"},
    {1360.0f, "Gideon Marr, Hilke, Ivo Santer,"},
    {1380.0f, "Jorunn Vale, Kaspar Lind, Lio, "},
    {1400.0f, "Mira Bok and Nella Orrin."},
    {1440.0f, "-all the funny dudes out there-"},
    {1460.0f, "  execially those who keep on  "},
    {1480.0f, "  with da demo scene and with  "},
    {1500.0f, " demo parties, those who start "},
    {1520.0f, "  new ones like Frostbyte Jam  "},
    {1540.0f, " or Tidewater, the mag writers "},
    {1560.0f, "and those who read them, people"},
    {1580.0f, "on the IRC and, expecially, the"},
    {1600.0f, "  thousand dudes feeding our   "},
    {1620.0f, "  counter. We are doing it for "},
    {1640.0f, "  you all, lay back and enjoy! "},
    {1680.0f, " And now, the part ya all have "},
    {1700.0f, "   been waiting for... group   "},
    {1720.0f, "          greetings!!!         "},
    {1760.0f, "    [in analphabetic order]    "},
    {1780.0f, "Qvx, Mordrake, Zilch, Oaktone, "},
    {1800.0f, "Brumefall, Ksoo, Velt, Nimbus, "},
    {1820.0f, "Fjordlight, Ypsi, Grell, Hax0n,"},
    {1840.0f, "Wendigoat, Esk, Lumpi, Trafik, "},
    {1860.0f, "Plinth, Crux9, Dazzlebox, Jemm."},
    {1880.0f, "-------------------------------"},
    {1900.0f, "if you are not in the list try "},
    {1920.0f, "to join a group with a good old"},
    {1940.0f, "three-letters-long name.       "},
    {1960.0f, "-------------------------------"},
    {2000.0f, "Some credits for this smalltro:"},
    {2020.0f, "Code    :   Vex"},
    {2040.0f, "Music   :   Lurch"},
    {2080.0f, "A big hug goes to Ilse Varna  "},
    {2100.0f, " for hosting our rubbish. And "},
    {2120.0f, "to Pim Hollander for the free "},
    {2140.0f, "space for the site. Thanks."},
    {2180.0f, "                        [esc]  "},
};

void updateCreditsScroll()
{
    // The clock restarted with the main phase, so the first line enters at the bottom.
    creditsScroll = static_cast<float>(15.0L * frameTimer.elapsed() + scrollWrapOffset);
}

void drawCredits()
{
    // Every line, also those outside the window: clipping removes them. Truncation
    // toward zero keeps a line at y = 0 for a pixel's worth of scroll either side.
    for (const CreditLine& line : creditLines) {
        bitmapFont.print(creditsLeft, static_cast<int>(line.baseOffset - creditsScroll), line.text);
    }
    // Past the cycle every line is above the window; the next scroll counts from 0.
    if (creditsCycle - creditsScroll < 0.0f) {
        scrollWrapOffset -= creditsScroll;
    }
}
