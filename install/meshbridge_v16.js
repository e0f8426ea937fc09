// Meshbridge dialog script.
//
// The host runs this script for the Meshbridge plug-in's dialog. Each button
// stores the dialog parameters of one command and asks the host to run the
// plug-in, which reads them back by name:
//
//   Command        "Import", "Export" or "Print"
//   FileTypeId     1 GIFTI, 2 SRF, 3 MTC, 4 SMP, 5 POI
//   Import:  PrintToLogtab, OpenInCRZT, ReverseWinding, AddColorsFile, DoImportAsTimeCourse
//            OutputFolder (a folder for the results; this dialog sets it empty: beside the input)
//   Export:  DoBinaryExport, UseCurrentFile, DoExportColors, DoExportLabelsPerVertex,
//            DoExportRetinotopyAsReal, DoExportCifti, DoExportFreeSurfer
//   Print:   PrintToLog, PrintToFile, UseCurrentFile
//
// Flags are integer parameters: 1 set, 0 not set.
//
// After a surface import with "Open in host" the plug-in leaves the path of the
// written SRF file in the text parameter "SrfFileName"; the script opens it.

var FILE_TYPES = { GIFTI: 1, SRF: 2, MTC: 3, SMP: 4, POI: 5 };

function flag(checked) {
    return checked ? 1 : 0;
}

function selectedFileType(dialog) {
    if (dialog.radioSRF.checked) return FILE_TYPES.SRF;
    if (dialog.radioMTC.checked) return FILE_TYPES.MTC;
    if (dialog.radioSMP.checked) return FILE_TYPES.SMP;
    if (dialog.radioPOI.checked) return FILE_TYPES.POI;
    return FILE_TYPES.GIFTI;
}

function runImport(host, dialog) {
    host.setStringParameter("Command", "Import");
    host.setIntParameter("FileTypeId", selectedFileType(dialog));
    host.setIntParameter("PrintToLogtab", flag(dialog.checkPrintHeader.checked));
    host.setIntParameter("OpenInCRZT", flag(dialog.checkOpenResult.checked));
    host.setIntParameter("ReverseWinding", flag(dialog.checkReverseWinding.checked));
    host.setIntParameter("AddColorsFile", flag(dialog.checkAddColors.checked));
    // Plain arrays (such as a Workbench time series split into metric files) as one time course.
    host.setIntParameter("DoImportAsTimeCourse", flag(dialog.checkAsTimeCourse.checked));
    host.setStringParameter("SrfFileName", "");
    // The results go beside the file chosen.
    host.setStringParameter("OutputFolder", "");
    var succeeded = host.executePlugin();
    var surface = host.getStringParameter("SrfFileName");
    if (succeeded && dialog.checkOpenResult.checked && surface !== "") {
        host.openDocument(surface);
    }
    return succeeded;
}

function runExport(host, dialog) {
    host.setStringParameter("Command", "Export");
    host.setIntParameter("FileTypeId", selectedFileType(dialog));
    host.setIntParameter("DoBinaryExport", flag(dialog.checkBinary.checked));
    host.setIntParameter("UseCurrentFile", flag(dialog.checkUseCurrent.checked));
    host.setIntParameter("DoExportColors", flag(dialog.checkExportColors.checked));
    // Patches as one label per mesh vertex, as Workbench and FreeSurfer read label files.
    host.setIntParameter("DoExportLabelsPerVertex", flag(dialog.checkLabelsPerVertex.checked));
    // Polar angle and eccentricity as two plain arrays (degrees, r) that every GIFTI reader opens.
    host.setIntParameter("DoExportRetinotopyAsReal", flag(dialog.checkRetinotopyAsReal.checked));
    // "Export as CIFTI-2": maps, time courses and patches as dense CIFTI-2 files for Workbench.
    host.setIntParameter("DoExportCifti", flag(dialog.checkExportCifti.checked));
    // "Export to FreeSurfer": a surface, an MGZ overlay or an annotation for freeview and FreeSurfer's tools.
    host.setIntParameter("DoExportFreeSurfer", flag(dialog.checkExportFreeSurfer.checked));
    return host.executePlugin();
}

function runPrint(host, dialog) {
    host.setStringParameter("Command", "Print");
    host.setIntParameter("FileTypeId", selectedFileType(dialog));
    host.setIntParameter("PrintToLog", flag(dialog.checkPrintToLog.checked));
    host.setIntParameter("PrintToFile", flag(dialog.checkPrintToFile.checked));
    host.setIntParameter("UseCurrentFile", flag(dialog.checkUseCurrent.checked));
    return host.executePlugin();
}

function onButtonClicked(host, dialog, button) {
    if (button === "Import") return runImport(host, dialog);
    if (button === "Export") return runExport(host, dialog);
    if (button === "Print") return runPrint(host, dialog);
    return false;
}
