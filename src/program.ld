/* The setup program's layout, hardened like any current installer: code read
   and execute only, constants and the import tables read only, data never
   executable, resources read only, and the relocations kept so that Windows
   may load the program at any base. Every section costs a header and on
   average half a file alignment unit (512 bytes, as Windows 95 wants it).
   Linkers of Windows 95's own time put the import tables in a read-only
   ".rdata" too: the loaders write the import addresses with the page made
   writable for the moment. */
OUTPUT_FORMAT(pei-i386)
SECTIONS
{
  . = SIZEOF_HEADERS;
  . = ALIGN(__section_alignment__);
  .text __image_base__ + __section_alignment__ :
  {
    *(.text)
    *(SORT(.text$*))
    *(.text.*)
    /* Nothing runs these lists (the program has no start-up code); the
       import check makes sure that they stay empty. */
    ___CTOR_LIST__ = .;
    __CTOR_LIST__ = .;
    LONG (-1);
    KEEP (*(.ctors));
    KEEP (*(.ctor));
    KEEP (*(SORT_BY_NAME(.ctors.*)));
    LONG (0);
    ___DTOR_LIST__ = .;
    __DTOR_LIST__ = .;
    LONG (-1);
    KEEP (*(.dtors));
    KEEP (*(.dtor));
    KEEP (*(SORT_BY_NAME(.dtors.*)));
    LONG (0);
  }
  /* The import sections come in writable from the import libraries; the
     READONLY type keeps the whole output section read only. */
  .rdata BLOCK(__section_alignment__) (READONLY) :
  {
    *(.rdata)
    *(SORT(.rdata$*))
    /* The linker finds the import directory and address table through
       these names (addresses relative to the image, as the directory
       holds them), as it would in a section of their own. */
    . = ALIGN(4);
    ".idata$2" = ABSOLUTE(. - __image_base__);
    /* The import directory, one entry per library: no lookup table (the
       loaders read the names through the address table, which holds the same
       words until they are bound), no time stamp, no forwarders, the name
       and the address table. The import libraries' own entries, each with a
       lookup table of its own, stay out of the file. */
    LONG (0); LONG (0); LONG (0);
    LONG (ABSOLUTE(__lib32_libkernel32_a_iname) - __image_base__);
    LONG (__kernel32_iat - __image_base__);
    LONG (0); LONG (0); LONG (0);
    LONG (ABSOLUTE(__lib32_libuser32_a_iname) - __image_base__);
    LONG (__user32_iat - __image_base__);
    LONG (0); LONG (0); LONG (0);
    LONG (ABSOLUTE(__lib32_libgdi32_a_iname) - __image_base__);
    LONG (__gdi32_iat - __image_base__);
    LONG (0); LONG (0); LONG (0);
    LONG (ABSOLUTE(__lib32_libadvapi32_a_iname) - __image_base__);
    LONG (__advapi32_iat - __image_base__);
    /* These zeroes end the list of imported libraries. */
    LONG (0); LONG (0); LONG (0); LONG (0); LONG (0);
    ".idata$4" = ABSOLUTE(. - __image_base__);
    __IAT_start__ = .;
    ".idata$5" = ABSOLUTE(. - __image_base__);
    /* Each library's addresses: its head's empty part, one word per
       function, a zero from its tail. */
    __kernel32_iat = .;
    KEEP (SORT(*libkernel32.a:*)(.idata$5))
    __user32_iat = .;
    KEEP (SORT(*libuser32.a:*)(.idata$5))
    __gdi32_iat = .;
    KEEP (SORT(*libgdi32.a:*)(.idata$5))
    __advapi32_iat = .;
    KEEP (SORT(*libadvapi32.a:*)(.idata$5))
    __IAT_end__ = .;
    ".idata$6" = ABSOLUTE(. - __image_base__);
    KEEP (SORT(*)(.idata$6))
    /* The libraries' names, from the closing member of each import library. */
    KEEP (*t.o(.idata$7))
  }
  .data BLOCK(__section_alignment__) :
  {
    *(.data)
    *(.data2)
    *(SORT(.data$*))
  }
  /* Zero-filled data takes no room in the file in a section of its own. */
  .bss BLOCK(__section_alignment__) :
  {
    *(.bss)
    *(COMMON)
  }
  .rsrc BLOCK(__section_alignment__) (READONLY) : SUBALIGN(4)
  {
    KEEP (*(.rsrc))
    KEEP (*(.rsrc$*))
  }
  .reloc BLOCK(__section_alignment__) :
  {
    *(.reloc)
  }
  /* Left out of the file: see each entry. */
  /DISCARD/ :
  {
    /* Each imported function's member of an import library holds a word
       that only makes the linker take the library's head along. */
    *(.idata$7)
    /* The import libraries' directory entries and lookup tables: the
       directory above takes their place. */
    *(.idata$2)
    *(.idata$4)
    /* Unwind tables of the compiler's helper routines: the program has no
       exceptions and no unwinder to read them. */
    *(.eh_frame*)
    *(.drectve)
    *(.note.GNU-stack)
    *(.gnu.lto_*)
    *(.debug*)
  }
}
