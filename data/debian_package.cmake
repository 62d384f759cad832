# The Debian package, made by `cpack -G DEB` (see scripts/package). Its
# dependencies come from dpkg-shlibdeps run over the two programs; only what
# the linker cannot see is named here.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velwin)
set(CPACK_PACKAGE_VENDOR "The velwin developers")
# The project has no mailing list yet; the .invalid address says so.
set(CPACK_PACKAGE_CONTACT "The velwin developers <velwin@maintainers.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Game Boy ROM and flash card manager: write cards, back up saves")
# Lines as Debian wants them, under 80 columns; an empty one starts a paragraph.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
       "velwin collects Game Boy ROM images for a flash card, shows each ROM's"
       "cartridge header and its entry in the ROM databases user.ini and veltra.ini,"
       "and names the smallest flash card (4, 16 or 64 Mbit) that holds them all."
       "It writes stripped copies of the ROMs for the VELTRA flashing tool and"
       "applies IPS patches."
       ""
       "With an X-Changer cart reader/writer on the parallel port (through ppdev"
       "or direct port access) it reads, checks and writes the flash card: it"
       "reads the whole card to a file, compares it with a file, and writes a ROM"
       "or card image onto the 4, 16 or 64 Mbit card, keeping a backup of the old"
       "contents and comparing the written card with the image. Its SRAM manager"
       "copies the battery saves of the games on a card to and from .sav files."
       ""
       "velwin-cli does the same from the command line.")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The programs go out without symbols, as Debian packages do.
set(CPACK_STRIP_FILES ON)
# Qt loads its window-system plugin at run time, so no linked library names
# it; without it the window cannot open.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# The windows ask for Arial and MS Sans Serif; Liberation Sans has their metrics.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation")
# The window writes a card with administrator rights through pkexec; without
# it, it shows the sudo command instead.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "pkexec")

include(CPack)
