zvk_fuzz(dicom zvk_picts)
